// The plugin's engine stream on its own: a start-up failure refuses the
// stream instead of leaving a half-working engine behind.
#include "app/lv2/engine_stream.h"

#include <gtest/gtest.h>

#include "dsp/fir_filter.h"

namespace {

TEST(EngineStream, AFailedPrefilterDesignRefusesTheStreamWithoutABox) {
    const auto saved = CFirFilter::allocator;
    CFirFilter::allocator = [](size_t, size_t) -> void* { return nullptr; };
    testing::internal::CaptureStderr();
    EXPECT_EQ(lv2_plugin::EngineStream::create(11025, 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // counted, not shown
    CFirFilter::allocator = saved;

    const auto stream = lv2_plugin::EngineStream::create(11025, 2);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->channels(), 2u);
    EXPECT_EQ(lv2_plugin::EngineStream::create(engine::kMaxSampleRate + 1, 1), nullptr);
}

}  // namespace
