#pragma once
// Error types of the program. Every error carries only its message, which is the
// text the user sees; handlers that do not catch an error show that text.

#include <QString>
#include <exception>
#include <string>

namespace kelvora {

class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : message_(std::move(message)), utf8_(message_.toStdString()) {}
    // detail: what a library said about the failure, for logs and terminals; the
    // windows show the message alone.
    Exception(QString message, std::string detail)
        : message_(std::move(message)), utf8_(message_.toStdString()), detail_(std::move(detail)) {}
    const QString& message() const noexcept { return message_; }
    const std::string& detail() const noexcept { return detail_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
    std::string detail_;
};

#define KELVORA_DECLARE_ERROR(Name, Base)                                                          \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    };

// File system
KELVORA_DECLARE_ERROR(EFOpenError, Exception)   // "ファイル %s は開けません"
KELVORA_DECLARE_ERROR(EFCreateError, Exception) // "ファイル %s を作成できません"
KELVORA_DECLARE_ERROR(EIniFileException, Exception)
// Pictures
KELVORA_DECLARE_ERROR(EInvalidGraphic, Exception)
KELVORA_DECLARE_ERROR(EInvalidGraphicOperation, Exception)
KELVORA_DECLARE_ERROR(EOutOfResources, Exception)
KELVORA_DECLARE_ERROR(EJPEG, Exception)
// Text conversion
KELVORA_DECLARE_ERROR(EConvertError, Exception)
KELVORA_DECLARE_ERROR(EListError, Exception)
KELVORA_DECLARE_ERROR(EInvalidOperation, Exception)
KELVORA_DECLARE_ERROR(EShNotifyError, Exception) // "監視するフォルダ数が上限を超えています。"
// A stop that was asked for (the user stopped a run, a handler ended an
// operation): nothing went wrong, so callers need not show it as an error.
KELVORA_DECLARE_ERROR(EAbort, Exception)

#undef KELVORA_DECLARE_ERROR

} // namespace kelvora
