#include "platform/automation.h"

namespace {
const char* KindName(Variant::Kind kind) {
    switch (kind) {
        case Variant::Kind::vkEmpty:
            return "empty";
        case Variant::Kind::vkBool:
            return "a truth value";
        case Variant::Kind::vkInt:
            return "an integer";
        case Variant::Kind::vkDouble:
            return "a number";
        case Variant::Kind::vkString:
            return "a text";
        case Variant::Kind::vkObject:
            return "an object";
    }
    return "unknown";
}

[[noreturn]] void Mismatch(Variant::Kind have, const char* wanted) {
    throw EAutomation(QStringLiteral("Type mismatch: %1 where %2 was expected")
                          .arg(QLatin1String(KindName(have)), QLatin1String(wanted)));
}

QString Quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
            case '\t':
                out += QStringLiteral("\\t");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '"':
                out += QStringLiteral("\\\"");
                break;
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            default:
                if (c.unicode() < 0x20)
                    out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
                else
                    out += c;
        }
    }
    return out + QLatin1Char('"');
}
}  // namespace

bool Variant::ToBool() const {
    if (const bool* b = std::get_if<bool>(&value_)) return *b;
    Mismatch(kind(), KindName(Kind::vkBool));
}

std::int32_t Variant::ToInt() const {
    if (const std::int32_t* i = std::get_if<std::int32_t>(&value_)) return *i;
    Mismatch(kind(), KindName(Kind::vkInt));
}

double Variant::ToDouble() const {
    if (const double* d = std::get_if<double>(&value_)) return *d;
    if (const std::int32_t* i = std::get_if<std::int32_t>(&value_)) return *i;
    Mismatch(kind(), KindName(Kind::vkDouble));
}

QString Variant::ToString() const {
    if (const QString* s = std::get_if<QString>(&value_)) return *s;
    Mismatch(kind(), KindName(Kind::vkString));
}

AutomationRef Variant::ToObject() const {
    if (const AutomationRef* o = std::get_if<AutomationRef>(&value_); o && *o) return *o;
    Mismatch(kind(), KindName(Kind::vkObject));
}

QString Variant::Describe() const {
    switch (kind()) {
        case Kind::vkEmpty:
            return QStringLiteral("Empty");
        case Kind::vkBool:
            return std::get<bool>(value_) ? QStringLiteral("true") : QStringLiteral("false");
        case Kind::vkInt:
            return QString::number(std::get<std::int32_t>(value_));
        case Kind::vkDouble: {
            QString text = QString::number(std::get<double>(value_), 'g', 17);
            // Shortest form that reads back exactly, and always recognisable as a double.
            for (int precision = 1; precision <= 17; ++precision) {
                const QString shorter = QString::number(std::get<double>(value_), 'g', precision);
                if (shorter.toDouble() == std::get<double>(value_)) {
                    text = shorter;
                    break;
                }
            }
            if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) &&
                !text.contains(QLatin1Char('n')))
                text += QStringLiteral(".0");
            return text;
        }
        case Kind::vkString:
            return Quoted(std::get<QString>(value_));
        case Kind::vkObject: {
            const AutomationRef& o = std::get<AutomationRef>(value_);
            return o ? o->Describe() : QStringLiteral("<null object>");
        }
    }
    return QString();
}
