// Running code out of memory at each of its allocations in turn, to see what every failure
// reports and (under the sanitizers) that none of them leaks.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"

// What make() reports with its 1st, 2nd, ... allocation through the framework's heap failing,
// until it gets through: a line per failure, as ZelDescribe writes it, followed by " <- " and
// the class of the cause. A failure that arrives unconverted fails the test.
inline std::vector<std::string> ZelExhaustionReports(const std::function<void()>& make) {
    std::vector<std::string> lines;
    for (unsigned long n = 1; n < 100; ++n) {
        AfxTestFailAllocation(n);
        try {
            make();
            AfxTestFailAllocation(0);
            return lines;
        } catch (ZelPropertyObjectException* caught) {
            AfxTestFailAllocation(0);
            ZelCaught<ZelPropertyObjectException> e(caught);
            lines.push_back(ZelDescribe(*e) + " <- " + e->GetCause()->GetRuntimeClass()->m_lpszClassName);
        } catch (CException* caught) {
            AfxTestFailAllocation(0);
            ZelCaught<CException> e(caught);
            ADD_FAILURE() << "unconverted " << e->GetRuntimeClass()->m_lpszClassName << " at allocation " << n;
        }
    }
    AfxTestFailAllocation(0);
    ADD_FAILURE() << "never got through";
    return lines;
}

// The reports of one operation, named by "<source> | <class> | <method>", without that name:
// " | <closing text> | <number> <- <class of the cause>".
inline std::vector<std::string> ZelReportsOf(const std::vector<std::string>& lines, const std::string& site) {
    std::vector<std::string> own;
    for (const std::string& line : lines)
        if (line.compare(0, site.size() + 3, site + " | ") == 0) own.push_back(line.substr(site.size()));
    return own;
}
