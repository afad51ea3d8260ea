// OnModalShown: acting on a modal window from a test. A modal window runs its
// own event loop inside the call that shows it, so the test polls from a
// timer until the window is the active modal one, then hands it over once.
#pragma once

#include <QApplication>
#include <QTimer>

template <typename Window, typename Act>
void OnModalShown(QObject* owner, Act act) {
    auto* timer = new QTimer(owner);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, act] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (!window)
            return;
        timer->stop();
        timer->deleteLater();
        act(window);
    });
    timer->start();
}
