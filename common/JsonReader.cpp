#include "JsonReader.h"

#include "Utf8Encoding.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_set>

namespace brindle
{

namespace
{
    /** More different member names than any text of this program's own holds, its rooms aside. */
    constexpr size_t namesBeforeThePoolIsCleared = 64;

    /** Where and why reading stopped; thrown from any depth and caught once, in `parseJson`. */
    struct ParseError
    {
        const char* at;
        juce::String message;
    };

    bool isDigit (char c) { return c >= '0' && c <= '9'; }

    int hexDigitValue (char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool isHighSurrogate (uint32_t c) { return c >= 0xd800 && c <= 0xdbff; }
    bool isLowSurrogate (uint32_t c)  { return c >= 0xdc00 && c <= 0xdfff; }

    /** For a number literal too large or too small for a double: whether it is too large. Its
        decimal order (that of its first non-zero digit) plus its exponent decides. */
    bool isBeyondTheLargestDouble (const char* begin, const char* end)
    {
        constexpr long long exponentCap = 1000000;   // far past any double, and no overflow
        long long order = -1;
        bool leadingZeros = true;
        bool afterPoint = false;
        auto* p = begin + (*begin == '-' ? 1 : 0);

        for (; p != end && *p != 'e' && *p != 'E'; ++p)
        {
            if (*p == '.')
            {
                afterPoint = true;
                continue;
            }

            if (leadingZeros && *p == '0')
            {
                if (afterPoint)
                    --order;

                continue;
            }

            leadingZeros = false;

            if (! afterPoint)
                ++order;
        }

        long long exponent = 0;
        bool negativeExponent = false;

        if (p != end)
        {
            ++p;
            negativeExponent = *p == '-';
            p += (*p == '-' || *p == '+') ? 1 : 0;

            for (; p != end; ++p)
                exponent = std::min (exponentCap, exponent * 10 + (*p - '0'));
        }

        return order + (negativeExponent ? -exponent : exponent) > 0;
    }

    class Parser
    {
    public:
        Parser (const char* text, size_t size) : at (text), end (text + size) {}

        juce::var document()
        {
            skipWhiteSpace();

            if (at == end)
                fail ("no JSON value: the text is empty");

            if (*at != '{' && *at != '[')
                fail ("expected '{' or '[': a JSON document is an object or an array");

            auto result = value (1);
            skipWhiteSpace();

            if (at != end)
                fail ("unexpected text after the end of the document");

            return result;
        }

    private:
        [[noreturn]] void fail (const juce::String& message) const { failAt (at, message); }
        [[noreturn]] static void failAt (const char* where, const juce::String& message) { throw ParseError { where, message }; }

        void skipWhiteSpace()
        {
            while (at != end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r'))
                ++at;
        }

        void expectMore (const char* where) const
        {
            if (at == end)
                fail (juce::String ("the text ends ") + where);
        }

        /** A value whose containers would sit at `depth` (the document's own is 1). */
        juce::var value (int depth)
        {
            skipWhiteSpace();
            expectMore ("where a value was expected");

            switch (*at)
            {
                case '{': return object (depth);
                case '[': return array (depth);
                case '"': return text();
                case 't': return literal ("true", true);
                case 'f': return literal ("false", false);
                case 'n': return literal ("null", juce::var());
                default:  break;
            }

            if (*at == '-' || isDigit (*at))
                return number();

            fail ("expected a value");
        }

        void enter (int depth) const
        {
            if (depth > maxJsonDepth)
                fail ("nested deeper than " + juce::String (maxJsonDepth) + " levels");
        }

        juce::var array (int depth)
        {
            enter (depth);
            ++at;

            juce::var result (juce::Array<juce::var> {});
            auto& elements = *result.getArray();
            skipWhiteSpace();

            if (at != end && *at == ']')
            {
                ++at;
                return result;
            }

            for (;;)
            {
                elements.add (value (depth + 1));
                skipWhiteSpace();
                expectMore ("inside an array");

                if (*at == ']')
                {
                    ++at;
                    return result;
                }

                if (*at != ',')
                    fail ("expected ',' or ']'");

                ++at;
            }
        }

        juce::var object (int depth)
        {
            enter (depth);
            ++at;

            juce::var result (new juce::DynamicObject());
            auto& members = result.getDynamicObject()->getProperties();
            int membersWritten = 0;
            skipWhiteSpace();

            if (at != end && *at == '}')
            {
                ++at;
                return result;
            }

            for (;;)
            {
                skipWhiteSpace();
                expectMore ("inside an object");

                if (*at != '"')
                    fail ("expected a member name in double quotes");

                if (membersWritten++ == maxJsonObjectMembers)
                    fail ("an object may hold at most " + juce::String (maxJsonObjectMembers) + " members");

                const auto nameAt = at;
                const auto name = memberName (nameAt);

                skipWhiteSpace();
                expectMore ("inside an object");

                if (*at != ':')
                    fail ("expected ':' after the member name");

                ++at;
                members.set (name, value (depth + 1));
                skipWhiteSpace();
                expectMore ("inside an object");

                if (*at == '}')
                {
                    ++at;
                    return result;
                }

                if (*at != ',')
                    fail ("expected ',' or '}'");

                ++at;
            }
        }

        juce::Identifier memberName (const char* nameAt)
        {
            const auto name = text();

            if (name.isEmpty())
                failAt (nameAt, "a member name may not be empty");

            // The pooled text's address tells a name apart from every other.
            const juce::Identifier identifier (name);

            if (differentNames.insert (identifier.getCharPointer().getAddress()).second
                && differentNames.size() > (size_t) maxJsonMemberNames)
                failAt (nameAt, "more than " + juce::String (maxJsonMemberNames) + " different member names");

            return identifier;
        }

        juce::var literal (const char* word, juce::var result)
        {
            const auto start = at;

            for (auto* w = word; *w != 0; ++w, ++at)
                if (at == end || *at != *w)
                    failAt (start, "expected a value");

            return result;
        }

        juce::String text()
        {
            ++at;   // the opening quotation mark
            std::string bytes;

            for (;;)
            {
                const auto plainStart = at;

                while (at != end && *at != '"' && *at != '\\' && (unsigned char) *at >= 0x20)
                    ++at;

                bytes.append (plainStart, at);
                expectMore ("inside a string");

                if (*at == '"')
                    break;

                if (*at != '\\')
                    fail ("a control character in a string must be written as an escape");

                escape (bytes);
            }

            ++at;
            return juce::String (juce::CharPointer_UTF8 (bytes.data()), juce::CharPointer_UTF8 (bytes.data() + bytes.size()));
        }

        void escape (std::string& bytes)
        {
            const auto escapeAt = at++;
            expectMore ("inside a string");

            switch (*at++)
            {
                case '"':  bytes += '"'; return;
                case '\\': bytes += '\\'; return;
                case '/':  bytes += '/'; return;
                case 'b':  bytes += '\b'; return;
                case 'f':  bytes += '\f'; return;
                case 'n':  bytes += '\n'; return;
                case 'r':  bytes += '\r'; return;
                case 't':  bytes += '\t'; return;
                case 'u':  break;
                default:   failAt (escapeAt, "unknown escape in a string");
            }

            auto c = hexQuad (escapeAt);

            if (c == 0)
                failAt (escapeAt, "\\u0000 cannot be held in a string");

            if (isHighSurrogate (c) && end - at >= 6 && at[0] == '\\' && at[1] == 'u')
            {
                const auto next = at;
                at += 2;
                const auto low = hexQuad (next);

                if (isLowSurrogate (low))
                    c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                else
                    at = next;   // two lone surrogates, or a surrogate and a character
            }

            appendUtf8 (bytes, c);
        }

        /** The four hex digits of a \u escape that starts at `escapeAt`. */
        uint32_t hexQuad (const char* escapeAt)
        {
            uint32_t c = 0;

            for (int i = 0; i < 4; ++i, ++at)
            {
                const auto digit = at != end ? hexDigitValue (*at) : -1;

                if (digit < 0)
                    failAt (escapeAt, "expected four hexadecimal digits after \\u");

                c = (c << 4) | (uint32_t) digit;
            }

            return c;
        }

        void digits (const char* what)
        {
            if (at == end || ! isDigit (*at))
                fail (juce::String ("expected a digit ") + what);

            while (at != end && isDigit (*at))
                ++at;
        }

        juce::var number()
        {
            const auto begin = at;
            const bool negative = *at == '-';
            at += negative ? 1 : 0;

            if (at != end && *at == '0')
            {
                ++at;

                if (at != end && isDigit (*at))
                    fail ("a number may not start with 0 followed by more digits");
            }
            else
            {
                digits ("in the number");
            }

            bool isInteger = true;

            if (at != end && *at == '.')
            {
                ++at;
                digits ("after the decimal point");
                isInteger = false;
            }

            if (at != end && (*at == 'e' || *at == 'E'))
            {
                ++at;
                at += (at != end && (*at == '+' || *at == '-')) ? 1 : 0;
                digits ("in the exponent");
                isInteger = false;
            }

            if (isInteger)
                if (auto whole = integer (begin + (negative ? 1 : 0), negative); ! whole.isVoid())
                    return whole;

            return floatingPoint (begin, negative);
        }

        /** An int below 2^31 in magnitude, else an int64; void beyond the int64 range. */
        juce::var integer (const char* digitsStart, bool negative) const
        {
            constexpr auto largest = (uint64_t) std::numeric_limits<juce::int64>::max();
            uint64_t magnitude = 0;

            for (auto* p = digitsStart; p != at; ++p)
            {
                const auto digit = (uint64_t) (*p - '0');

                if (magnitude > (largest - digit) / 10)
                    return {};

                magnitude = magnitude * 10 + digit;
            }

            const auto signedValue = negative ? -(juce::int64) magnitude : (juce::int64) magnitude;
            return (magnitude >> 31) != 0 ? juce::var (signedValue) : juce::var ((int) signedValue);
        }

        juce::var floatingPoint (const char* begin, bool negative) const
        {
            double result = 0.0;

            if (std::from_chars (begin, at, result).ec == std::errc::result_out_of_range)
            {
                result = isBeyondTheLargestDouble (begin, at) ? std::numeric_limits<double>::infinity() : 0.0;
                result = negative ? -result : result;
            }

            return result;
        }

    public:
        size_t differentNameCount() const { return differentNames.size(); }

    private:
        const char* at;
        const char* const end;
        std::unordered_set<const void*> differentNames;
    };

    /** "line 3, column 7", counting characters, not bytes. */
    juce::String positionOf (const char* text, const char* at)
    {
        int line = 1, column = 1;

        for (auto* p = text; p != at; ++p)
        {
            if (*p == '\n')
                ++line, column = 1;
            else if (((unsigned char) *p & 0xc0) != 0x80)
                ++column;
        }

        return "line " + juce::String (line) + ", column " + juce::String (column);
    }
}

juce::Result parseJson (const juce::String& text, juce::var& value)
{
    value = juce::var();
    const auto size = text.getNumBytesAsUTF8();

    if (size > maxJsonTextBytes)
        return juce::Result::fail ("the text is " + juce::String ((juce::int64) size) + " bytes long; at most "
                                   + juce::String ((juce::int64) maxJsonTextBytes) + " are read");

    const auto* start = text.toRawUTF8();
    Parser parser (start, size);
    auto result = juce::Result::ok();

    try
    {
        value = parser.document();
    }
    catch (const ParseError& error)
    {
        result = juce::Result::fail (positionOf (start, error.at) + ": " + error.message);
    }

    // The framework lets names no one holds any more stay in its pool for half a minute, and
    // each new name costs in proportion to the pool: texts of many names, one after another,
    // would each cost more than the last. After such a text the names of earlier ones (and of
    // this one, when it was refused) leave the pool.
    if (parser.differentNameCount() > namesBeforeThePoolIsCleared)
        juce::StringPool::getGlobalPool().garbageCollect();

    return result;
}

juce::var readMember (const juce::DynamicObject& object, const juce::Identifier& key)
{
    if (! object.hasProperty (key))
        return {};

    const auto& value = object.getProperty (key);
    return value.isMethod() ? juce::var() : value;
}

juce::String readMemberText (const juce::DynamicObject& object, const juce::Identifier& key)
{
    const auto value = readMember (object, key);
    const bool hasText = value.isString() || value.isInt() || value.isInt64() || value.isDouble() || value.isBool();
    return hasText ? value.toString() : juce::String();
}

} // namespace brindle
