#include "ZelEhLogFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>

ZelEhLogFile::ZelEhLogFile(std::ostream& out) : m_pOut(&out) {}

ZelEhLogFile::ZelEhLogFile(const char* pszPath, BOOL bAppend) : m_pOut(nullptr) {
    if (pszPath == nullptr || *pszPath == '\0') return;
    // Binary mode: the entries carry their own line ends ("\r\n"), which must not be doubled.
    const auto eMode = bAppend ? std::ios::app : std::ios::trunc;
    m_file.open(pszPath, std::ios::out | std::ios::binary | eMode);
    if (m_file.is_open()) m_pOut = &m_file;
}

ZelEhLogFile::~ZelEhLogFile() {
    // A failing flush has nowhere to be reported; the stream keeps its error state.
    if (m_pOut != nullptr) m_pOut->flush();
}

ZelEhLogFile& ZelEhLogFile::operator<<(const char* psz) {
    if (psz != nullptr) Write(psz);
    return *this;
}

ZelEhLogFile& ZelEhLogFile::operator<<(long n) {
    Write(std::to_string(n).c_str());
    return *this;
}

ZelEhLogFile& ZelEhLogFile::operator<<(unsigned long n) {
    Write(std::to_string(n).c_str());
    return *this;
}

ZelEhLogFile& ZelEhLogFile::operator<<(int n) {
    Write(std::to_string(n).c_str());
    return *this;
}

ZelEhLogFile& ZelEhLogFile::operator<<(unsigned int n) {
    Write(std::to_string(n).c_str());
    return *this;
}

void ZelEhLogFile::SetBlanks(unsigned short nBlanks) { m_nBlanks = nBlanks; }

unsigned short ZelEhLogFile::GetBlanks() const { return m_nBlanks; }

void ZelEhLogFile::BeginNested() {
    if (m_nDepth < kMaxNesting) {
        m_nSavedBase[m_nDepth] = m_nBase;
        m_nSavedBlanks[m_nDepth] = m_nBlanks;
        const unsigned nIndent = unsigned{m_nBase} + m_nBlanks;
        m_nBase = static_cast<unsigned short>(
            std::min<unsigned>(nIndent, std::numeric_limits<unsigned short>::max()));
        m_nBlanks = 0;
    }
    // Past the save stack the level is only counted, so that the EndNested calls pair up.
    if (m_nDepth < std::numeric_limits<unsigned>::max()) ++m_nDepth;
}

void ZelEhLogFile::EndNested() {
    if (m_nDepth == 0) return;  // unpaired: nothing to restore
    --m_nDepth;
    if (m_nDepth < kMaxNesting) {
        m_nBase = m_nSavedBase[m_nDepth];
        m_nBlanks = m_nSavedBlanks[m_nDepth];
    }
}

BOOL ZelEhLogFile::IsOpen() const { return m_pOut != nullptr; }

void ZelEhLogFile::Flush() {
    if (m_pOut != nullptr) m_pOut->flush();
}

void ZelEhLogFile::WriteIndentation() {
    const unsigned nIndent = unsigned{m_nBase} + m_nBlanks;
    static constexpr char kBlanks[] = "                                ";
    constexpr unsigned kChunk = sizeof kBlanks - 1;
    for (unsigned nLeft = nIndent; nLeft > 0;) {
        const unsigned n = std::min(nLeft, kChunk);
        m_pOut->write(kBlanks, n);
        nLeft -= n;
    }
}

void ZelEhLogFile::Write(const char* psz) {
    if (m_pOut == nullptr) return;
    // A line's indentation goes out with its first character other than a line end, so empty
    // lines stay empty; the rest is written in runs up to and including each "\n".
    while (*psz != '\0') {
        if (m_bLineStart) {
            if (*psz == '\r' || *psz == '\n') {
                m_pOut->put(*psz++);
                continue;
            }
            WriteIndentation();
            m_bLineStart = false;
        }
        const char* pEnd = std::strchr(psz, '\n');
        const size_t nRun =
            pEnd != nullptr ? static_cast<size_t>(pEnd - psz) + 1 : std::strlen(psz);
        m_pOut->write(psz, static_cast<std::streamsize>(nRun));
        m_bLineStart = pEnd != nullptr;
        psz += nRun;
    }
}
