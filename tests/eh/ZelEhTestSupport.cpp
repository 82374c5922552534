#include "ZelEhTestSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

IMPLEMENT_DYNAMIC(CountedException, CException)

int CountedException::s_nDestroyed = 0;

BOOL CountedException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT*) {
    const size_t nCopy = std::min<size_t>(m_strMessage.size(), nMaxError - 1);
    std::memcpy(lpszError, m_strMessage.data(), nCopy);
    lpszError[nCopy] = '\0';
    return TRUE;
}

std::vector<std::string> LinesOf(const std::string& strText) {
    std::vector<std::string> lines;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strText.find("\r\n", nStart)) != std::string::npos;) {
        lines.push_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    if (nStart < strText.size()) lines.push_back(strText.substr(nStart) + "<no line end>");
    return lines;
}

std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
