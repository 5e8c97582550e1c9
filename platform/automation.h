#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "platform/exception.h"

// Late-bound automation: objects of another program driven by method and property names, the
// way an office suite is remote-controlled. Names are matched without regard to case by the
// implementations, as automation servers do.

class AutomationObject;
using AutomationRef = std::shared_ptr<AutomationObject>;

// A failed automation call: the server refused it, is gone, or did not answer in time. The
// message is short; the server's own words, where they say more, are the details.
class EAutomation : public Exception {
public:
    explicit EAutomation(QString message, QString details = QString())
        : Exception(std::move(message)), details_(std::move(details)) {}
    const QString& Details() const { return details_; }

private:
    QString details_;
};

// A server that did not answer within its bound. It has been ended, so that the next request
// starts a fresh one instead of waiting on it again.
class EAutomationTimeout : public EAutomation {
public:
    using EAutomation::EAutomation;
};

// The values that cross the automation boundary.
class Variant {
public:
    enum class Kind { vkEmpty, vkBool, vkInt, vkDouble, vkString, vkObject };

    Variant() = default;
    Variant(bool value) : value_(value) {}
    Variant(std::int32_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(QString value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(QString::fromUtf8(value)) {}
    Variant(AutomationRef value) : value_(std::move(value)) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool IsEmpty() const { return kind() == Kind::vkEmpty; }

    // The conversions throw EAutomation when the value is of another kind (ints widen to double).
    bool ToBool() const;
    std::int32_t ToInt() const;
    double ToDouble() const;
    QString ToString() const;
    AutomationRef ToObject() const;

    // A readable form for logs and test expectations: Empty, true, 32700, 41.5, 117.0,
    // "text with \t escapes", or the object's own description.
    QString Describe() const;

    bool operator==(const Variant& other) const { return value_ == other.value_; }

private:
    std::variant<std::monostate, bool, std::int32_t, double, QString, AutomationRef> value_;
};

struct NamedArg {
    QString name;
    Variant value;
};

// One object of the automation server. Releasing the last reference releases the object there.
class AutomationObject {
public:
    virtual ~AutomationObject() = default;

    Variant Call(const QString& name, const std::vector<Variant>& args = {},
                 const std::vector<NamedArg>& named = {}) {
        return DoCall(name, args, named);
    }
    Variant Get(const QString& name, const std::vector<Variant>& args = {}) {
        return DoGet(name, args);
    }
    // Put(name, value) sets a plain property; Put(name, {i, j}, value) an indexed one.
    void Put(const QString& name, const Variant& value) { DoPut(name, {}, value); }
    void Put(const QString& name, const std::vector<Variant>& args, const Variant& value) {
        DoPut(name, args, value);
    }

    virtual QString Describe() const { return QStringLiteral("<object>"); }

protected:
    virtual Variant DoCall(const QString& name, const std::vector<Variant>& args,
                           const std::vector<NamedArg>& named) = 0;
    virtual Variant DoGet(const QString& name, const std::vector<Variant>& args) = 0;
    virtual void DoPut(const QString& name, const std::vector<Variant>& args,
                       const Variant& value) = 0;
};

// Where automation objects come from: a class name such as "Word.Basic" or "Excel.Application".
class AutomationFactory {
public:
    virtual ~AutomationFactory() = default;
    // Starts the server when needed; throws EAutomation when it cannot be had.
    virtual AutomationRef CreateObject(const QString& className) = 0;
    // Only an instance that already runs; throws EAutomation when there is none.
    virtual AutomationRef GetActiveObject(const QString& className) = 0;
    // Called from another thread: makes the call in progress (and every later one) fail soon, so
    // that a thread driving the server can be joined at exit. The server itself stays.
    virtual void Interrupt() {}
};
