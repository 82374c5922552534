// The error-handling library's log stream: writes entries to a stream or a file, each line
// indented by the blanks that SetBlanks sets.
#pragma once

#include <fstream>
#include <iosfwd>

#include "../afx/ZelAfx.h"

class ZEL_EH_API ZelEhLogFile {
public:
    explicit ZelEhLogFile(std::ostream& out);
    // Appends to the file at pszPath (creating it); with bAppend FALSE the file is emptied
    // first. IsOpen() tells whether that worked; a log that could not be opened swallows
    // what is written to it.
    explicit ZelEhLogFile(const char* pszPath, BOOL bAppend = TRUE);
    ZelEhLogFile(const ZelEhLogFile&) = delete;
    ZelEhLogFile& operator=(const ZelEhLogFile&) = delete;
    virtual ~ZelEhLogFile();

    // A null text writes nothing. A line ends where "\n" is written.
    ZelEhLogFile& operator<<(const char* psz);
    ZelEhLogFile& operator<<(long n);
    ZelEhLogFile& operator<<(unsigned long n);
    ZelEhLogFile& operator<<(int n);
    ZelEhLogFile& operator<<(unsigned int n);

    // Blanks written at the start of every following line of the current entry. They are
    // written with the line's first character, so empty lines carry no blanks.
    void SetBlanks(unsigned short nBlanks);
    unsigned short GetBlanks() const;

    // A nested entry (the cause of an exception) is indented below the entry that holds it:
    // between these two calls, SetBlanks counts from the indentation in force at BeginNested,
    // and EndNested brings back the indentation of that moment. Nesting deeper than
    // kMaxNesting keeps the deepest indentation; the levels below it restore exactly.
    void BeginNested();
    void EndNested();

    BOOL IsOpen() const;
    void Flush();

    static constexpr unsigned kMaxNesting = 16;

private:
    void Write(const char* psz);
    void WriteIndentation();

    std::ofstream m_file;
    std::ostream* m_pOut;
    unsigned short m_nBase = 0;
    unsigned short m_nBlanks = 0;
    unsigned short m_nSavedBase[kMaxNesting] = {};
    unsigned short m_nSavedBlanks[kMaxNesting] = {};
    unsigned m_nDepth = 0;  // may exceed kMaxNesting; those levels saved nothing
    bool m_bLineStart = true;
};
