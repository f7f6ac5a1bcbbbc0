// The application object and the screen cursor over Qt.
#include "platform/Application.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <new>

namespace {
TApplication theApplication;
TScreen theScreen;
}  // namespace

TApplication* Application = &theApplication;
TScreen* Screen = &theScreen;

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

void TApplication::Initialize()
{
    if (QApplication::instance())
        return;
    // Without a display the toolkit would abort the process; say why instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        throw Exception("Cannot start: there is no display to show the window on. "
                        "Run it in a desktop session, or on a virtual display with: xvfb-run -a korvanith");
    static int argc = 1;
    static char name[] = "korvanith";
    static char* argv[] = {name, nullptr};
    toolkit = std::make_unique<QApplication>(argc, argv);
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
