// Helpers for the framework layer's tests: exceptions thrown by pointer, and the allocation
// failure hook.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/afx/AfxTestHooks.h"
#include "platform/afx/ZelAfx.h"

// Runs f; returns the class name of the framework exception it threw (released here), or ""
// when it threw none.
template <class F>
std::string AfxThrown(F&& f) {
    try {
        f();
    } catch (CException* e) {
        std::string name = e->GetRuntimeClass()->m_lpszClassName;
        e->Delete();
        return name;
    }
    return "";
}

// Disarms the allocation failure hook after every test, also after one that failed halfway.
class AfxHeapGuard : public testing::Test {
protected:
    void TearDown() override { AfxTestFailAllocation(0); }
};
