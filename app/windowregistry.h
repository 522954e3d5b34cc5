#pragma once
// The single-instance window rule: one instance of each window kind, created on first use and
// kept until the application ends. Also decides when the application ends: when, after a handler
// returns, no window is shown.

#include "form.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <typeindex>
#include <vector>

namespace demo {

class WindowRegistry : public QObject {
    Q_OBJECT
public:
    static WindowRegistry& instance();

    // The one instance of window kind F, created on first use.
    template <class F> F& get() {
        auto it = forms_.find(std::type_index(typeid(F)));
        if (it == forms_.end()) {
            auto form = std::make_unique<F>();
            F& ref = *form;
            order_.push_back(form.get());
            forms_.emplace(std::type_index(typeid(F)), std::move(form));
            return ref;
        }
        return static_cast<F&>(*it->second);
    }

    // Whether an instance of F exists (without creating it).
    template <class F> bool exists() const { return forms_.count(std::type_index(typeid(F))) != 0; }

    std::vector<Form*> forms() const { return order_; }

    // Looks, once the running handler has returned, whether any window is still shown; if none
    // is, hidden windows are discarded and the application ends.
    void scheduleEndCheck();
    // The check itself; returns true when it ended the application.
    bool checkForEnd();

    // Ends the application now with `status`: discards every window (without unload steps) and
    // cancels a pending check, which would otherwise end it a second time with status 0.
    void endApplication(int status);

    // What ending the application does; by default QCoreApplication::exit(status).
    void setExitFunction(std::function<void(int)> exitFunction);

    // Destroys every window (tests start each case from a fresh application state).
    void destroyAll();

private:
    WindowRegistry();
    std::map<std::type_index, std::unique_ptr<Form>> forms_;
    std::vector<Form*> order_;
    QTimer endCheck_;
    std::function<void(int)> exit_;
};

// Shorthand for WindowRegistry::instance().get<F>().
template <class F> F& window() {
    return WindowRegistry::instance().get<F>();
}

} // namespace demo
