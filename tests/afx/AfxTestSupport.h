// Helpers for the framework layer's tests: exceptions thrown by pointer, and the allocation
// failure hook.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/afx/AfxTestHooks.h"
#include "platform/afx/ZelAfx.h"

// The E* that f throws, left to the caller; null when f throws nothing.
template <class E = CException, class F>
E* AfxCaught(F&& f) {
    try {
        f();
    } catch (E* e) {
        return e;
    }
    return nullptr;
}

// Runs f; returns the class name of the framework exception it threw (released here), or "".
template <class F>
std::string AfxThrown(F&& f) {
    CException* e = AfxCaught(f);
    if (!e) return "";
    std::string name = e->GetRuntimeClass()->m_lpszClassName;
    e->Delete();
    return name;
}

// Whether f, with its first allocation on the framework's heap failing, throws CMemoryException*.
template <class F>
bool AfxFailsWithoutMemory(F&& f) {
    AfxTestFailAllocation(1);
    const bool bMemory = AfxThrown(f) == "CMemoryException";
    AfxTestFailAllocation(0);
    return bMemory;
}

// Runs f on nThreads threads at once and waits for all of them.
template <class F>
void AfxOnThreads(int nThreads, const F& f) {
    std::vector<std::thread> threads;
    for (int i = 0; i < nThreads; ++i) threads.emplace_back(f);
    for (std::thread& t : threads) t.join();
}

// Disarms the allocation failure hook after every test, also after one that failed halfway.
class AfxHeapGuard : public testing::Test {
protected:
    void TearDown() override { AfxTestFailAllocation(0); }
};
