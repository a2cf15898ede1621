#pragma once
// The load trial, run in the helper program: asks the system's COM loader
// for one class in-process, as a host does, and answers step by step (see
// helper/Answer.h), so that a trial that hangs or crashes still tells how far
// it came.
#include "doctor/LoadVerdict.h"

#include <string>

namespace helper {

using namespace doctor::loadAnswer;

// Runs the trial for the class (its "{...}" text) whose server the
// companion found at `server` ("" when it found none). With `iid` (the
// class's default interface), the instance's interface is then marshalled
// to a thread of the multithreaded apartment and from there back, as a
// host's other threads reach it. Returns the program's exit code: 0 when the
// trial ran (whatever it found), 2 when the arguments are wrong, 3 when COM
// did not start.
int runLoadTrial(const std::wstring& clsid, const std::wstring& server, const std::wstring& iid = {});

} // namespace helper
