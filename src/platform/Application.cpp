// The application object and the screen cursor over Qt.
#include "platform/Application.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
TApplication theApplication;
TScreen theScreen;
}  // namespace

TApplication* Application = &theApplication;
TScreen* Screen = &theScreen;

void TBusyCursor::Set()
{
    if (active || Screen->GetCursor() == crHourGlass)
        return;
    Screen->SetCursor(crHourGlass);
    active = true;
}

TBusyCursor::~TBusyCursor()
{
    if (active)
        Screen->SetCursor(crDefault);
}

void TScreen::SetCursor(int cursor)
{
    if (!QGuiApplication::instance() || cursor == current)
        return;
    if (cursor == crHourGlass) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        current = cursor;
    } else if (cursor == crDefault) {
        QGuiApplication::restoreOverrideCursor();
        current = cursor;
    }
}

// Reached after the entry routine has returned, while the runtime tears down
// its globals; the toolkit's own may already be gone, so destroying windows or
// the toolkit here could crash. This happens only when the loop never ran (a
// start-up failure): what is left stays reachable until the process ends.
TApplication::~TApplication()
{
    static auto* leftForms = new std::vector<QWidget*>;
    static QApplication* leftToolkit = nullptr;
    for (auto& form : forms)
        leftForms->push_back(form.release());
    leftToolkit = toolkit.release();
    (void)leftToolkit;
}

namespace {

const char StartElsewhere[] =
    "Run it in a desktop session, or on a virtual display with: xvfb-run -a korvanith";

// What the toolkit tries to open, in words: the display for X11 and Wayland,
// else the platform by name. QT_QPA_PLATFORM lists platforms to try, each
// perhaps with options after a colon; without it the toolkit takes X11.
QString WhatIsOpened()
{
    QStringList platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(';', Qt::SkipEmptyParts);
    if (platforms.isEmpty())
        platforms << QStringLiteral("xcb");
    QStringList names;
    for (const QString& entry : platforms) {
        const QString platform = entry.section(':', 0, 0);
        if (platform == QLatin1String("xcb"))
            names << QStringLiteral("the display %1").arg(qEnvironmentVariable("DISPLAY"));
        else if (platform.startsWith(QLatin1String("wayland")))
            names << QStringLiteral("the Wayland display %1")
                         .arg(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")));
        else
            names << QStringLiteral("the window platform \"%1\"").arg(platform);
    }
    return names.join(QLatin1String(" or "));
}

// While the toolkit starts: its warnings are kept as the reason, and its
// fatal message (a display or platform that cannot be opened) ends the
// program with one message of ours and status 0, instead of an abort.
QString startWarning;

void StartingToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        if (startWarning.isEmpty() && type != QtDebugMsg && type != QtInfoMsg)
            startWarning = message.section('\n', 0, 0);
        return;
    }
    const QString reason = startWarning.isEmpty() ? message.section('\n', 0, 0) : startWarning;
    std::fprintf(stderr, "korvanith: Cannot start: %s cannot be opened (%s). %s\n",
                 qPrintable(WhatIsOpened()), qPrintable(reason), StartElsewhere);
    std::fflush(stderr);
    std::_Exit(0);  // the toolkit is half made: nothing of it may run its destructors
}

}  // namespace

void TApplication::Initialize()
{
    if (QApplication::instance())
        return;
    // Without a display the toolkit would abort the process; say why instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        throw Exception(std::string("Cannot start: there is no display to show the window on. ") +
                        StartElsewhere);
    static int argc = 1;
    static char name[] = "korvanith";
    static char* argv[] = {name, nullptr};
    const QtMessageHandler previous = qInstallMessageHandler(StartingToolkit);
    toolkit = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    startWarning.clear();
    QApplication::setApplicationName(QStringLiteral("Korvanith"));
}

void TApplication::Adopt(std::unique_ptr<QWidget> form) { forms.push_back(std::move(form)); }

void TApplication::Run()
{
    if (forms.empty())
        return;
    forms.front()->show();
    QApplication::exec();
    ShutDown();
}

void TApplication::Terminate()
{
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

void TApplication::ShutDown()
{
    forms.clear();
    toolkit.reset();
}

void TApplication::ShowException(const Exception* exception)
{
    const QString text = QString::fromStdString(exception ? exception->Message : AnsiString());
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "korvanith: %s\n", qPrintable(text));  // no window to show it in
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Korvanith"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void TApplication::Post(std::function<void()> handler)
{
    if (auto* toolkit = QCoreApplication::instance())
        QTimer::singleShot(0, toolkit, [this, handler = std::move(handler)] { Dispatch(handler); });
}

void TApplication::Post(QObject* receiver, std::function<void()> handler)
{
    QTimer::singleShot(0, receiver, [this, handler = std::move(handler)] { Dispatch(handler); });
}

void TApplication::Dispatch(const std::function<void()>& handler)
{
    try {
        if (handler)
            handler();
    } catch (const Exception& e) {
        ShowException(&e);
    } catch (const std::bad_alloc&) {
        const Exception e("There is not enough memory for this operation.");
        ShowException(&e);
    } catch (const std::exception& e) {
        const Exception wrapped(e.what());
        ShowException(&wrapped);
    } catch (...) {
        const Exception unknown("");
        ShowException(&unknown);
    }
}
