#include "support/host_fixture.h"

void HostTest::SetUp() {
    platform::setHost(&host);
}

void HostTest::TearDown() {
    platform::setHost(nullptr);
}

const sim::MessageBoxRecord& HostTest::onlyBox() const {
    EXPECT_EQ(host.boxes.size(), 1u);
    static const sim::MessageBoxRecord none{};
    return host.boxes.empty() ? none : host.boxes.front();
}
