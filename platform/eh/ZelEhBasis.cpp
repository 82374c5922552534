#include "ZelEhBasis.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "ZelEhString.h"

IMPLEMENT_DYNAMIC(ZelEhBasis, CException)

namespace {

constexpr uint32_t kAlive = 0x5A454C31;      // set by the constructor
constexpr uint32_t kDestroyed = 0xDEADC0DE;  // set at the end of the destructor

// How far a cause's entry is indented below the line that announces it.
constexpr unsigned short kCauseIndent = 6;
// Enough for the framework's own messages; longer ones are cut.
constexpr UINT kMessageSize = 512;

const char* Text(const char* psz) { return psz != nullptr ? psz : ""; }

// Writes "label: text" as one line, without a trailing blank when the text is empty.
void WriteLine(ZelEhLogFile& log, const char* pszLabel, const char* pszText) {
    log << pszLabel;
    if (pszText != nullptr && *pszText != '\0') log << " " << pszText;
    log << "\r\n";
}

void WriteLine(ZelEhLogFile& log, const char* pszLabel, ULONG nValue) {
    log << pszLabel << " " << static_cast<unsigned long>(nValue) << "\r\n";
}

// One nesting level of the log for as long as it lives, also when logging throws.
class NestedEntry {
public:
    explicit NestedEntry(ZelEhLogFile& log) : m_log(log) { m_log.BeginNested(); }
    ~NestedEntry() { m_log.EndNested(); }
    NestedEntry(const NestedEntry&) = delete;
    NestedEntry& operator=(const NestedEntry&) = delete;

private:
    ZelEhLogFile& m_log;
};

}  // namespace

void* PASCAL ZelEhBasis::operator new(size_t nSize) { return AfxAllocMemory(nSize); }

void PASCAL ZelEhBasis::operator delete(void* p) noexcept { AfxFreeMemory(p); }

ZelEhBasis::ZelEhBasis(const char* pszSource, const char* pszClass, const char* pszMethod,
                       const char* pszClosing, DWORD nErrorNo, DWORD nTextNo, DWORD nSubNo,
                       CException* pCause, BOOL bOwnCause, DWORD nHelpContext, BOOL bReport)
    : CException(TRUE),
      m_pszSource(pszSource),
      m_pszClass(pszClass),
      m_pszMethod(pszMethod),
      m_pszClosing(pszClosing),
      m_nErrorNo(nErrorNo),
      m_nTextNo(nTextNo),
      m_nSubNo(nSubNo),
      m_pCause(pCause),
      m_bOwnCause(bOwnCause),
      m_nHelpContext(nHelpContext),
      m_bReport(bReport),
      m_nLifeTag(kAlive) {}

ZelEhBasis::~ZelEhBasis() {
    const bool bAlive = m_nLifeTag == kAlive;
    ZelEhBasis::CheckBeforeDelete();
    if (bAlive && m_bOwnCause && m_pCause != nullptr) {
        // Nothing may leave a destructor; a cause that fails to go has nowhere to be reported.
        try {
            m_pCause->Delete();
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    }
    m_pCause = nullptr;
    m_nLifeTag = kDestroyed;
}

void ZelEhBasis::CheckBeforeDelete() {
    if (m_nLifeTag != kAlive) {
        std::fputs("ZelEhBasis: ein Ausnahmeobjekt wird ein zweites Mal zerstoert\n", stderr);
    }
}

const char* ZelEhBasis::GetSourceName() const { return Text(m_pszSource); }
const char* ZelEhBasis::GetClassText() const { return Text(m_pszClass); }
const char* ZelEhBasis::GetMethodText() const { return Text(m_pszMethod); }
const char* ZelEhBasis::GetClosingText() const { return Text(m_pszClosing); }
CException* ZelEhBasis::GetCause() const { return m_pCause; }

ULONG ZelEhBasis::GetErrorTextNo() const { return m_nTextNo; }
void ZelEhBasis::SetErrorTextNo(ULONG nTextNo) { m_nTextNo = nTextNo; }
ULONG ZelEhBasis::GetErrorNo() const { return m_nErrorNo; }
void ZelEhBasis::SetErrorNo(ULONG nErrorNo) { m_nErrorNo = nErrorNo; }

void ZelEhBasis::WriteLog(ZelEhLogFile& log) const {
    NestedEntry entry(log);
    Log(log);
}

void ZelEhBasis::Log(ZelEhLogFile& log) const {
    WriteLine(log, "Quelle:", m_pszSource);
    WriteLine(log, "Klasse:", m_pszClass);
    WriteLine(log, "Methode:", m_pszMethod);
    WriteLine(log, "Abschluss:", m_pszClosing);
    WriteLine(log, "Fehlernummer:", m_nErrorNo);
    WriteLine(log, "Textnummer:", m_nTextNo);
    WriteLine(log, "Unternummer:", m_nSubNo);
    if (m_pCause != nullptr) LogCause(log);
}

void ZelEhBasis::LogCause(ZelEhLogFile& log) const {
    log << "Ursache:" << "\r\n";
    const unsigned short nBlanks = log.GetBlanks();
    log.SetBlanks(static_cast<unsigned short>(
        std::min<unsigned>(nBlanks + kCauseIndent, std::numeric_limits<unsigned short>::max())));
    {
        NestedEntry nested(log);
        if (const auto* pBasis = dynamic_cast<const ZelEhBasis*>(m_pCause)) {
            pBasis->Log(log);
        } else {
            // A framework exception: its class and its own message, in the same shape.
            WriteLine(log, "Fehlerart:", m_pCause->GetRuntimeClass()->m_lpszClassName);
            char szMessage[kMessageSize] = "";
            if (m_pCause->GetErrorMessage(szMessage, kMessageSize) && szMessage[0] != '\0') {
                log.SetBlanks(kCauseIndent);
                WriteLine(log, "Meldung:", szMessage);
            }
        }
    }
    log.SetBlanks(nBlanks);
}

const char* ZelEhBasis::GetResourceModulname() const { return nullptr; }
DWORD ZelEhBasis::GetResIdForTextInfo() const { return 0; }
DWORD ZelEhBasis::GetResIdForCaption() const { return 0; }

HINSTANCE ZelEhBasis::LoadResourceModule(const char*) const { return nullptr; }

// The base loads no module and hands out no entries, so there is nothing to release.
void ZelEhBasis::FreeResourceModule(HINSTANCE) const {}
void* ZelEhBasis::GetResourceEntry(ULONG, HINSTANCE&) const { return nullptr; }
void ZelEhBasis::FreeResourceEntry(void*) const {}

BOOL ZelEhBasis::GetErrorTextInfo(void*, ULONG, ULONG& nHelpId, ULONG& nStyle, short& nMinor,
                                  short& nMajor) const {
    nHelpId = 0;
    nStyle = 0;
    nMinor = 0;
    nMajor = 0;
    return FALSE;
}

void ZelEhBasis::FreeErrorText(char* pszText) const { ZelEhDeleteString(pszText); }
char* ZelEhBasis::GetCaptionText(void*, ULONG) const { return nullptr; }
void ZelEhBasis::FreeCaptionText(char* pszText) const { ZelEhDeleteString(pszText); }
