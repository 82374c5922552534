// The error-handling library's log stream: writes entries to a stream or a file, each line
// indented by the blanks that SetBlanks sets.
#pragma once

#include <fstream>
#include <iosfwd>

#include "../afx/ZelAfx.h"

/// The error-handling library's log stream: writes entries to a stream or a file, each line
/// indented by the blanks that SetBlanks() sets. Exceptions write themselves into it with
/// ZelPropertyObjectException::Log() or ZelEhBasis::WriteLog().
class ZEL_EH_API ZelEhLogFile {
public:
    /// A log that writes to `out`, such as `std::cerr`.
    explicit ZelEhLogFile(std::ostream& out);
    /// A log that appends to the file at `pszPath` (creating it); with `bAppend` FALSE the
    /// file is emptied first. IsOpen() tells whether that worked; a log that could not be
    /// opened swallows what is written to it.
    explicit ZelEhLogFile(const char* pszPath, BOOL bAppend = TRUE);
    ZelEhLogFile(const ZelEhLogFile&) = delete;             ///< Not copyable.
    ZelEhLogFile& operator=(const ZelEhLogFile&) = delete;  ///< Not copyable.
    /// Flushes and closes the log.
    virtual ~ZelEhLogFile();

    /// Writes a text; a null text writes nothing, and a line ends where `"\n"` is written.
    /// @return this log, for the next insertion.
    ZelEhLogFile& operator<<(const char* psz);
    /// Writes a number in decimal.
    /// @return this log, for the next insertion.
    ZelEhLogFile& operator<<(long n);
    /// Writes a number in decimal.
    /// @return this log, for the next insertion.
    ZelEhLogFile& operator<<(unsigned long n);
    /// Writes a number in decimal.
    /// @return this log, for the next insertion.
    ZelEhLogFile& operator<<(int n);
    /// Writes a number in decimal.
    /// @return this log, for the next insertion.
    ZelEhLogFile& operator<<(unsigned int n);

    /// Sets the blanks written at the start of every following line of the current entry.
    /// They are written with the line's first character, so empty lines carry no blanks.
    void SetBlanks(unsigned short nBlanks);
    /// @return the blanks of the current entry's lines.
    unsigned short GetBlanks() const;

    /// Starts a nested entry (the cause of an exception), indented below the entry that
    /// holds it: until EndNested(), SetBlanks() counts from the indentation in force now.
    /// Nesting deeper than kMaxNesting keeps the deepest indentation; the levels below it
    /// restore exactly.
    void BeginNested();
    /// Ends a nested entry: the indentation of its BeginNested() is in force again.
    void EndNested();

    /// @return TRUE when the log writes somewhere: always for a stream, for a file when it
    ///         could be opened.
    BOOL IsOpen() const;
    /// Writes out what is buffered.
    void Flush();

    /// The deepest nesting that keeps an indentation of its own.
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
