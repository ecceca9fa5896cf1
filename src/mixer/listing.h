// The mixer listing: a plain-text record of the copied topology and the
// program's assignments, and the model of the dialog that writes it.
#pragma once

#include <ctime>
#include <string>

#include "dialogs/dialog_model.h"
#include "mixer/dialog_templates.h"
#include "mixer/mixer.h"

inline constexpr const char* kMixerListFileName = "TarnixMixerList.txt";

// The date line of the listing for a time, in local time:
// "Www Mmm dd hh:mm:ss yyyy\n" with English names whatever the locale.
std::string listingDate(std::time_t now);

// Writes the listing to path (replacing it). When the file cannot be opened
// it shows the message, writes nothing and returns false.
bool writeMixerListing(CMixer& mixer, const char* path, std::time_t now);

// "Dump Mixer Settings to Disk File" (modal).
class DumpDialog final : public dialogs::DialogModel {
  public:
    explicit DumpDialog(CMixer& mixer) : mixer_(mixer) {}

    const dialogs::DialogTemplate& dialogTemplate() const override { return mixer_ui::kDumpDialog; }
    // kWmInitDialog: true.
    bool initDialog() override { return true; }
    // kWmCommand: kIdOk writes the listing and ends the dialog, kIdCancel ends
    // it; both with result 0.
    bool command(int id) override;

    bool ended() const override { return bEnded; }
    intptr_t result() const override { return 0; }
    // The full path of the file written, empty when none was.
    const std::string& writtenTo() const { return sWrittenTo; }

    // Where the listing goes and the clock it is dated by; tests change them.
    const char* pszPath = kMixerListFileName;
    std::time_t (*now)() = [] { return std::time(nullptr); };

  private:
    CMixer& mixer_;
    bool bEnded = false;
    std::string sWrittenTo;
};
