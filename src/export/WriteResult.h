#pragma once

#include <QString>

namespace zembrix {

// The outcome of writing one export file. Writers never throw; they return one of:
//  - written: the file exists with the image in it;
//  - nothing written: the input was not usable (null image, format index out of
//    range); nothing to report to the user;
//  - failed: an error worth reporting, with a domain, a code and a message.
//    Code -2 in domain "imageDestinationNil" means the file itself could not be
//    created (missing folder, no permission): the export alert "Couldn't create file.".
class WriteResult
{
public:
    enum class Status { Written, NothingWritten, Failed };

    static WriteResult written() { return WriteResult(Status::Written, {}, 0, {}); }
    static WriteResult nothingWritten(const QString &reason)
    {
        return WriteResult(Status::NothingWritten, {}, 0, reason);
    }
    static WriteResult failed(const QString &domain, int code, const QString &message)
    {
        return WriteResult(Status::Failed, domain, code, message);
    }

    // Domain and code of a file that could not be created.
    static constexpr const char *kDestinationDomain = "imageDestinationNil";
    static constexpr int kDestinationCode = -2;
    // Domain and code of an encoder that gave no data.
    static constexpr const char *kEncoderDomain = "imageEncoder";
    static constexpr int kEncoderCode = -1;

    Status status() const { return m_status; }
    bool isWritten() const { return m_status == Status::Written; }
    bool isFailure() const { return m_status == Status::Failed; }
    QString domain() const { return m_domain; }
    // 0 unless the status is Failed.
    int code() const { return m_code; }
    QString message() const { return m_message; }

private:
    WriteResult(Status status, const QString &domain, int code, const QString &message)
        : m_status(status)
        , m_domain(domain)
        , m_code(code)
        , m_message(message)
    {
    }

    Status m_status;
    QString m_domain;
    int m_code;
    QString m_message;
};

} // namespace zembrix
