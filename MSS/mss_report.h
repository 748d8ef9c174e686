// Failures the destination survives on its own: a foreign key or a view that cannot be created,
// or a key the server took only without its referential actions. The loop that met one goes on
// with the next item; the failure still has to reach the user, and only the program above this
// layer knows how to show it. So the program installs a reporter once (the conversion driver
// hands each report to its error handler, with the context as the unit of work); without one,
// reports go to the trace log at level 3 and nowhere else.
//
// Whatever the reporter raises (a handler that stops the run) leaves the destination's loop
// unchanged: the loop does not catch it.
#pragma once

#include <functional>
#include <string>

#include "tk_exception.h"

// `context` names the failed item ("Foreign key 'fk_a'", "View 'v'"); `error` says what happened.
using mss_reporter = std::function<void(const std::u16string& context, const tk_exception& error)>;

// Installs `reporter` for the whole process (an empty one removes it) and returns the one it
// replaces. Called once at start-up, before any database exists.
mss_reporter mss_set_reporter(mss_reporter reporter);

// Hands `error` with `context` to the installed reporter, or traces it when there is none.
void mss_report(const std::u16string& context, const tk_exception& error);
