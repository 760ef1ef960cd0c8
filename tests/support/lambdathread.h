#pragma once
// A platform thread whose Execute runs a function, for tests of the thread machinery. Unless it
// frees itself, destroying it stops and waits for it first, as every thread with state of its own
// must: the function goes with the object.

#include "platform/thread.h"

#include <functional>

class TLambdaThread : public TThread
{
public:
    TLambdaThread(bool suspended, std::function<void(TLambdaThread *)> body, bool freeOnTerminate = false)
        : TThread(suspended)
        , m_body(std::move(body))
    {
        SetFreeOnTerminate(freeOnTerminate);
    }
    ~TLambdaThread() override
    {
        if (!FreeOnTerminate()) {
            Terminate();
            WaitFor();
        }
    }

    using TThread::Queue;
    using TThread::SetReturnValue;
    using TThread::SleepUnlessTerminated;
    using TThread::Synchronize;
    using TThread::Wake;

protected:
    void Execute() override { m_body(this); }

private:
    std::function<void(TLambdaThread *)> m_body;
};
