// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

// Runs a handler; an exception that escapes it goes to the top-level error
// handler, which shows its text in a message box, and the program goes on.
void runGuarded(const std::function<void()>& handler);

// Connects a control's signal to a handler of `receiver`, run through runGuarded().
template <class Sender, class Signal, class Receiver>
void bindGuarded(Sender* sender, Signal signal, Receiver* receiver, void (Receiver::*handler)()) {
    QObject::connect(sender, signal, receiver, [receiver, handler] {
        runGuarded([receiver, handler] { (receiver->*handler)(); });
    });
}
