#pragma once

#include <QString>
#include <exception>

namespace velkoria {

// Error numbers of the runtime failures the program knows. Users quote them
// from the error box, so they stay stable.
enum ErrorNumber : int {
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    InternalError = 51, // an exception of the libraries that nothing expected
    FileNotFound = 53,
    InputPastEndOfFile = 62,
    PathFileAccess = 75,
    CannotStartBrowser = 429, // no browser found, or it did not start or answer
    AutomationError = 440,    // the browser refused a command or did not answer it
    BrowserGone = 462,
};

// A runtime failure: a number from the catalogue and a description for the user.
class RuntimeError : public std::exception {
public:
    RuntimeError(int number, QString description);
    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// The catalogue's standard description of an error number.
QString standardDescription(int number);

// An error with the catalogue's description, optionally followed by a detail line.
RuntimeError makeError(int number, const QString& detail = {});

} // namespace velkoria
