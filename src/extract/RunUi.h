#pragma once

#include <string>
#include <string_view>

namespace mae {

// The window's caption and the title of the run's message boxes.
inline constexpr std::u16string_view WindowCaption = u"Meridane Audit Extract";
// The program's name: the title of a message box that has none of its own.
inline constexpr std::u16string_view ProgramName = u"meridane-audit-extract";

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Warning, Critical };
enum class MsgAnswer { Ok, Yes, No };

// What the run needs of the window.
class RunUi {
  public:
    virtual ~RunUi() = default;
    virtual MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                                  const std::u16string& title) = 0;
    virtual void SetProgressMax(float max) = 0;
    virtual void SetProgressValue(float value) = 0;
    virtual bool RereleaseChecked() = 0;
};

}  // namespace mae
