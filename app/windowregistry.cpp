#include "windowregistry.h"

#include <QApplication>

namespace demo {

WindowRegistry& WindowRegistry::instance() {
    static WindowRegistry registry;
    return registry;
}

WindowRegistry::WindowRegistry() : exit_([](int status) { QCoreApplication::exit(status); }) {
    endCheck_.setSingleShot(true);
    endCheck_.setInterval(0);
    connect(&endCheck_, &QTimer::timeout, this, &WindowRegistry::checkForEnd);
}

void WindowRegistry::scheduleEndCheck() {
    endCheck_.start();
}

bool WindowRegistry::checkForEnd() {
    // A message box is up: a handler is still running.
    if (QApplication::activeModalWidget()) {
        return false;
    }
    for (Form* form : order_) {
        if (form->isVisible()) {
            return false;
        }
    }
    // Nothing on screen. A loaded but hidden window (a progress window loaded by a late print
    // event) would otherwise keep an invisible process alive.
    endApplication(0);
    return true;
}

void WindowRegistry::endApplication(int status) {
    endCheck_.stop();
    for (Form* form : order_) {
        if (form->isLoaded()) {
            form->discard();
        }
    }
    exit_(status);
}

void WindowRegistry::setExitFunction(std::function<void(int)> exitFunction) {
    exit_ = std::move(exitFunction);
}

void WindowRegistry::destroyAll() {
    endCheck_.stop();
    for (Form* form : order_) {
        form->discard();
    }
    forms_.clear();
    order_.clear();
}

} // namespace demo
