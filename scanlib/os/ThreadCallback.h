// The work a thread of the operating-system layer runs.
#pragma once

class ThreadCallback {
public:
    // Runs on the new thread; the result is the thread's exit code.
    virtual int Run(int arg) = 0;
    virtual ~ThreadCallback() = default;
};
