// The application object and the screen cursor: the toolkit's start, its
// message loop, and the guard every event handler runs under.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Exception.h"

class QApplication;
class QObject;
class QWidget;

// Anything that can own forms.
class TComponent {
public:
    virtual ~TComponent() = default;
};

enum : int { crDefault = 0, crHourGlass = -11 };

class TScreen {
public:
    // -11 shows the busy cursor over the whole application; 0 restores the
    // default. Other codes are ignored.
    void SetCursor(int cursor);
    int GetCursor() const { return current; }

private:
    int current = crDefault;
};

// The busy cursor for as long as the guard lives, once set; a guard set while
// another is already busy leaves the cursor to that one.
class TBusyCursor {
public:
    TBusyCursor() = default;
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    void Set();
    ~TBusyCursor();

private:
    bool active = false;
};

class TApplication : public TComponent {
public:
    ~TApplication() override;

    // Sets up the toolkit once. The program's command line is not passed on:
    // it changes nothing.
    void Initialize();

    // Constructs a form owned by the application; the first one created
    // becomes the main window.
    template <class T>
    void CreateForm(T** reference)
    {
        auto form = std::make_unique<T>(this);
        *reference = form.get();
        Adopt(std::move(form));
    }

    // Shows the main window and runs the message loop until the application
    // terminates.
    void Run();

    // Ends the message loop.
    void Terminate();

    // A modal error message with the exception's text.
    void ShowException(const Exception* exception);

    // Runs an event handler. What it lets escape is shown with ShowException
    // and goes no further: nothing unwinds through the toolkit's dispatch.
    void Dispatch(const std::function<void()>& handler);

    // Runs the handler (through Dispatch) once the events now waiting have
    // been handled.
    void Post(std::function<void()> handler);
    // The same, dropped when receiver is destroyed before it runs.
    void Post(QObject* receiver, std::function<void()> handler);

private:
    void Adopt(std::unique_ptr<QWidget> form);
    void ShutDown();

    std::unique_ptr<QApplication> toolkit;
    std::vector<std::unique_ptr<QWidget>> forms;
};

extern TApplication* Application;
extern TScreen* Screen;
