#include "app/qt/ErrorReport.h"

#include <QString>
#include <cstdio>
#include <new>
#include <string>

#include "app/startup/WindowFacts.h"
#include "extract/RunUi.h"

namespace mae {

namespace {

QString ReportText(const RuntimeError& error) {
    return QString::fromStdString(RunTimeErrorText(error.number(), error.what()));
}

}  // namespace

MessageBoxHookFunction MessageBoxHook;

QMessageBox::StandardButton ShowMessageBox(QMessageBox& box) {
    if (MessageBoxHook) return MessageBoxHook(box);
    box.exec();
    return box.standardButton(box.clickedButton());
}

void ShowRunTimeError(const RuntimeError& error, QWidget* parent) noexcept {
    try {
        QMessageBox box(QMessageBox::Critical,
                        QString::fromStdU16String(std::u16string(ProgramName)), ReportText(error),
                        QMessageBox::Ok, parent);
        ShowMessageBox(box);
    } catch (...) {
        // Not even the box could be made: the terminal is the last place left to say it.
        std::fprintf(stderr, "Run-time error '%s':\n\n%s\n",
                     RunTimeErrorNumber(error.number()).text, error.what());
    }
}

namespace {

// Not even the error could be made: its making ran out of memory.
void ReportOutOfMemory() noexcept {
    std::fprintf(stderr, "Run-time error '%s':\n\n%s\n", RunTimeErrorNumber(err::OutOfMemory).text,
                 err::Text(err::OutOfMemory).data());
}

}  // namespace

void ShowRunTimeError(const std::exception& error, QWidget* parent) noexcept {
    try {
        ShowRunTimeError(AsRunTimeError(error), parent);
    } catch (...) {
        ReportOutOfMemory();
    }
}

void ShowRunTimeError(std::exception_ptr failure, QWidget* parent) noexcept {
    try {
        ShowRunTimeError(AsRunTimeError(failure), parent);
    } catch (...) {
        ReportOutOfMemory();
    }
}

}  // namespace mae
