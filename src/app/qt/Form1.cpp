#include "app/qt/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <string_view>

#include "app/qt/ErrorReport.h"
#include "app/qt/RunOnThread.h"
#include "app/startup/WindowFacts.h"
#include "common/Text.h"
#include "extract/ExtractRun.h"

namespace mae {

namespace {

QRect FromTwips(const Twips& box) {
    return QRect(box.left / 15, box.top / 15, box.width / 15, box.height / 15);
}

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::Gesture:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

void LeaveProgram(int status) {
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(status);
    } else {
        std::fflush(nullptr);
        std::exit(status);
    }
}

}  // namespace

std::function<void(int status)> Form1::ExitHook = LeaveProgram;

Form1::Form1(QWidget* parent) : QWidget(parent) {
    createControls();
    connectSignals();
}

Form1::~Form1() = default;

void Form1::createControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromStdU16String(std::u16string(WindowCaption)));
    setFixedSize(FromTwips(ClientArea).size());

    const auto makeLabel = [this](const char* name, std::u16string_view text, QRect geometry) {
        auto* label = new QLabel(ToQString(text), this);
        label->setObjectName(QLatin1String(name));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(geometry);
        return label;
    };
    Label1 = makeLabel("Label1", Label1Text, FromTwips(Label1Box));
    Label2 = makeLabel("Label2", Label2Text, FromTwips(Label2Box));
    Label3 = makeLabel("Label3", Label3Text, FromTwips(Label3Box));

    chkRerelease = new QCheckBox(ToQString(RereleaseText), this);
    chkRerelease->setObjectName(QStringLiteral("chkRerelease"));
    chkRerelease->setGeometry(FromTwips(RereleaseBox));
    chkRerelease->setChecked(false);

    cmdRun = new QPushButton(ToQString(RunText), this);
    cmdRun->setObjectName(QStringLiteral("cmdRun"));
    cmdRun->setGeometry(FromTwips(RunBox));
    cmdRun->setAutoDefault(true);  // Enter presses the focused button, as on Windows

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(FromTwips(ProgressBox));
    ProgressBar1->setRange(0, m_progress.max());
    ProgressBar1->setValue(m_progress.value());
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));

    setTabOrder(cmdRun, chkRerelease);
    cmdRun->setFocus();
    fitFontToLabels();
}

void Form1::connectSignals() { connect(cmdRun, &QPushButton::clicked, this, &Form1::RunExtract); }

// The boxes are fixed in pixels, the font is the desktop's: a font larger than the one the
// boxes were drawn for would cut the labels' last lines off, so the window's font shrinks
// until every text fits.
void Form1::fitFontToLabels() {
    QFont f = font();
    if (f.pointSizeF() <= 0) return;
    const auto fits = [this](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        for (const QLabel* label : {Label1, Label2, Label3}) {
            const QRect box(0, 0, label->width(), std::numeric_limits<int>::max() / 2);
            const QRect used = metrics.boundingRect(box, Qt::TextWordWrap, label->text());
            if (used.height() > label->height()) return false;
        }
        return true;
    };
    while (!fits(f) && f.pointSizeF() - 0.5 >= SmallestFontPoints)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    setFont(f);
}

bool Form1::Load() {
    try {
        if (m_state.ApplicationFolder.empty()) m_state.ApplicationFolder = ApplicationFolder();
        Form_Load(m_state);
        if (!m_state.StartNote.empty()) {
            ShowMessage(FromUtf8(m_state.StartNote), MsgButtons::Ok, MsgIcon::Warning,
                        std::u16string(WindowCaption));
        }
        return true;
    } catch (...) {
        ShowRunTimeError(std::current_exception());
    }
    return false;
}

void Form1::RunExtract() {
    // A click that slipped through while a run was going, or after a run ended the program.
    if (m_running || m_ended) return;
    m_running = true;
    qApp->installEventFilter(this);
    int exitStatus = -1;
    std::exception_ptr failure;
    try {
        // The run works on a thread of its own while this one keeps the window painted and
        // answering the desktop; the filter keeps the user's input from it meanwhile.
        const ExtractContext context = m_state.MakeExtractContext();
        WindowProxy proxy(*this, *this, chkRerelease->isChecked());
        RunOutcome outcome = RunOutcome::Completed;
        failure = RunOnThread([&] { outcome = mae::RunExtract(context, proxy); });
        if (!failure && outcome == RunOutcome::Aborted) exitStatus = 1;
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        ShowRunTimeError(failure, this);
        exitStatus = 1;
    }
    ProgressBar1->setValue(m_progress.value());  // the last value, even if throttled away
    if (exitStatus >= 0) {
        // The input filter stays: nothing more reaches the window on the way out.
        m_ended = true;
        m_running = false;
        ExitHook(exitStatus);
        return;
    }
    qApp->removeEventFilter(this);
    m_running = false;
}

MsgAnswer Form1::ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                             const std::u16string& title) {
    const bool yesNo = buttons == MsgButtons::YesNo;
    QMessageBox box(ToQtIcon(icon),
                    QString::fromStdU16String(title.empty() ? std::u16string(ProgramName) : title),
                    QString::fromStdU16String(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const QMessageBox::StandardButton pressed = ShowMessageBox(box);
    if (!yesNo) return MsgAnswer::Ok;
    return pressed == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

void Form1::SetProgressMax(float max) {
    m_progress.SetMax(max);
    ProgressBar1->setMaximum(m_progress.max());
    ProgressBar1->setValue(m_progress.value());
}

void Form1::SetProgressValue(float value) {
    m_progress.SetValue(value);
    ProgressBar1->setValue(m_progress.value());
}

bool Form1::RereleaseChecked() { return chkRerelease->isChecked(); }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if ((m_running || m_ended) && IsUserInput(event->type())) {
        // Events reach the window's QWindow first, then the widget under the pointer or with
        // the focus; message boxes are windows of their own and keep their input.
        if (watched == windowHandle()) return true;
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (m_running) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace mae
