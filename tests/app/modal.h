#pragma once

#include <functional>
#include <utility>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

namespace seedwell::testing {

/// While it lives, polls the event loop for the active modal widget (a modal box blocks inside
/// its own event loop, so a test cannot reach it otherwise) and hands the first one to
/// `handle`. Should `handle` leave it open, it is rejected after many polls so that a failing
/// test ends instead of hanging; GaveUp then answers true.
class ModalHandler {
  public:
    explicit ModalHandler(std::function<void(QWidget*)> handle) : handle_(std::move(handle)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ModalHandler(const ModalHandler&) = delete;
    ModalHandler& operator=(const ModalHandler&) = delete;

    bool Handled() const { return handled_; }
    bool GaveUp() const { return gaveUp_; }

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (!handled_) {
            handled_ = true;
            handle_(modal);
            return;
        }
        if (++pollsAfter_ > 2000) {
            gaveUp_ = true;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            }
        }
    }

    std::function<void(QWidget*)> handle_;
    QTimer timer_;
    bool handled_ = false;
    bool gaveUp_ = false;
    int pollsAfter_ = 0;
};

}  // namespace seedwell::testing
