#pragma once

#include <QMessageBox>
#include <exception>
#include <functional>

#include "common/RuntimeError.h"

class QWidget;

namespace mae {

// Every message box of the program is shown through ShowMessageBox. When MessageBoxHook is set
// (tests set it), the box is handed to it instead of being shown, fully prepared, and the
// button it returns stands for the one the user pressed.
using MessageBoxHookFunction = std::function<QMessageBox::StandardButton(QMessageBox&)>;
extern MessageBoxHookFunction MessageBoxHook;

// Shows the box modally (or hands it to the hook); the button pressed, NoButton when the box
// was closed without one.
QMessageBox::StandardButton ShowMessageBox(QMessageBox& box);

// The run-time error report: a critical box titled with the program's name whose text is
// RunTimeErrorText (app/startup/WindowFacts.h). Never throws.
void ShowRunTimeError(const RuntimeError& error, QWidget* parent = nullptr) noexcept;
void ShowRunTimeError(const std::exception& error, QWidget* parent = nullptr) noexcept;
void ShowRunTimeError(std::exception_ptr failure, QWidget* parent = nullptr) noexcept;

}  // namespace mae
