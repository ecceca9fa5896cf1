// The models of the main window's own dialogs: the start-up dialog, Quick
// Help and About (templates in ui/dialog_templates.h).
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/dialog_model.h"
#include "ui/dialog_templates.h"

namespace ui {

// "Welcome": chooses the sampling rate and simulated stereo, or quits.
class WelcomeDialog final : public DialogModel {
  public:
    const DialogTemplate& dialogTemplate() const override { return kWelcomeDialog; }
    // Only "11 kHz" on, the notice lines in the list.
    bool initDialog() override;
    // Radio buttons and the check box mark themselves; Agree stores the
    // choice and ends with 1; Disagree (Escape, the close box) ends with 0.
    bool command(int id) override;
    bool checked(int id) const override;
    std::vector<std::string> listItems(int id) const override;
    bool ended() const override { return bEnded; }
    intptr_t result() const override { return nResult; }

    // The choice, valid once the dialog ended with 1.
    uint32_t nSampleRate = 11025;
    uint32_t bSimulatedStereo = 0;

  private:
    int nRate = kIdRate11025;  // the radio button that is on; 0: none
    bool bStereoChecked = false;
    bool bEnded = false;
    intptr_t nResult = 0;
};

// "Quick Help" (modeless): the open marker is set when it initialises and
// cleared when it closes.
class QuickHelpDialog final : public DialogModel {
  public:
    const DialogTemplate& dialogTemplate() const override { return kQuickHelpDialog; }
    bool initDialog() override {
        bOpen = true;
        return true;
    }
    bool command(int id) override;
    bool ended() const override { return !bOpen; }

    bool isOpen() const { return bOpen; }

  private:
    bool bOpen = false;
};

// "About" (modal): shows the version text; OK, Escape or the close box end it with 0.
class AboutDialog final : public DialogModel {
  public:
    const DialogTemplate& dialogTemplate() const override { return kAboutDialog; }
    bool initDialog() override {
        bInitialized = true;
        return true;
    }
    bool command(int id) override;
    std::optional<std::string> text(int id) const override;
    bool ended() const override { return bEnded; }
    intptr_t result() const override { return 0; }

  private:
    bool bInitialized = false;
    bool bEnded = false;
};

}  // namespace ui
