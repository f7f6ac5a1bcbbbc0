// The stand-in window: KORVANITH_PROBE says what its construction does. Every
// message box shown is printed as "MESSAGE:<text>" and closed.
#include "Unit1.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

TKorvanith* Korvanith = nullptr;

namespace {

class DerivedException : public Exception {
public:
    using Exception::Exception;
};

void AnswerMessageBoxes()
{
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("MESSAGE:%s\n", qPrintable(box->text()));
            std::fflush(stdout);
            box->close();
        }
    });
    timer->start(10);
}

}  // namespace

TKorvanith::TKorvanith(TComponent* Owner) : TForm(Owner)
{
    AnswerMessageBoxes();
    const QByteArray probe = qgetenv("KORVANITH_PROBE");
    if (probe == "raise")
        throw Exception("the window could not be built");
    if (probe == "derived")
        throw DerivedException("a derived failure");
    if (probe == "other")
        throw 42;
    // "close": shown by the loop, then closed like a person closes it
    QTimer::singleShot(50, this, [this] {
        std::printf("SHOWN:%d DIRECTION:%d\n", isVisible(), int(QApplication::layoutDirection()));
        std::fflush(stdout);
        close();
    });
}
