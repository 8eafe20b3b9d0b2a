#include "JsonWriter.h"

#include "JsonLimits.h"
#include "Utf8Encoding.h"

#include <charconv>
#include <cmath>
#include <string>
#include <unordered_set>

namespace brindle
{

namespace
{
    constexpr int maxDecimals = 15;
    constexpr double exponentFormFrom = 1.0e15;   // from here on, fixed notation is all digits
    constexpr int blanksPerLevel = 2;

    bool isHighSurrogate (juce::juce_wchar c) { return c >= 0xd800 && c <= 0xdbff; }
    bool isLowSurrogate (juce::juce_wchar c)  { return c >= 0xdc00 && c <= 0xdfff; }

    void appendUnicodeEscape (std::string& out, juce::juce_wchar c)
    {
        static constexpr char hexDigits[] = "0123456789abcdef";
        out += "\\u";

        for (int shift = 12; shift >= 0; shift -= 4)
            out += hexDigits[(c >> shift) & 0xf];
    }

    /** Everything but the escapes: plain characters, surrogates and code points past Unicode. */
    void appendCharacter (std::string& out, juce::juce_wchar c, juce::CharPointer_UTF8& rest)
    {
        if (c < 0x20)
        {
            appendUnicodeEscape (out, c);
        }
        else if (isHighSurrogate (c) && isLowSurrogate (*rest))
        {
            const auto low = rest.getAndAdvance();
            appendUtf8 (out, 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00));
        }
        else if (isHighSurrogate (c) || isLowSurrogate (c))
        {
            appendUnicodeEscape (out, c);
        }
        else
        {
            appendUtf8 (out, c > 0x10ffff ? 0xfffd : c);
        }
    }

    // A byte that stands for itself in the output: printable ASCII but the two that are escaped.
    bool isPlainAscii (char byte)
    {
        return byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\';
    }

    void appendString (std::string& out, const juce::String& text)
    {
        out += '"';

        for (auto rest = text.getCharPointer(); ! rest.isEmpty();)
        {
            // Runs of plain ASCII, most of any text we write, go over as they are.
            const auto* run = rest.getAddress();
            auto end = run;
            while (isPlainAscii (*end))
                ++end;

            if (end != run)
            {
                out.append (run, (size_t) (end - run));
                rest = juce::CharPointer_UTF8 (end);
                continue;
            }

            const auto c = rest.getAndAdvance();

            switch (c)
            {
                case '"':  out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\f': out += "\\f"; break;
                case '\r': out += "\\r"; break;
                default:   appendCharacter (out, c, rest); break;
            }
        }

        out += '"';
    }

    std::string charsOf (double value, std::chars_format format)
    {
        char buffer[512];   // fixed notation of the smallest doubles takes ~330 characters
        const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value, format);
        return { buffer, result.ptr };
    }

    std::string fixedWithDecimals (double value, int decimals)
    {
        char buffer[512];
        const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::fixed, decimals);
        std::string text (buffer, result.ptr);

        while (text.back() == '0' && text[text.size() - 2] != '.')
            text.pop_back();

        return text;
    }

    /** Locale-independent (std::to_chars), shortest text that reads back to the same double
        where 15 decimals allow it. */
    void appendDouble (std::string& out, double value)
    {
        if (! std::isfinite (value))
        {
            out += "null";
            return;
        }

        if (std::abs (value) >= exponentFormFrom)
        {
            out += charsOf (value, std::chars_format::scientific);
            return;
        }

        auto text = charsOf (value, std::chars_format::fixed);
        const auto point = text.find ('.');

        if (point == std::string::npos)
            text += ".0";
        else if (text.size() - point - 1 > (size_t) maxDecimals)
            text = fixedWithDecimals (value, maxDecimals);

        out += text;
    }

    /** Whether to tell when the reader would refuse the text, or when it would read back
        other than the value (a container too deep, written as null). */
    enum class ReaderLimits { unchecked, checked };

    class Writer
    {
    public:
        Writer (JsonLayout layoutToUse, ReaderLimits limitsToCheck) : layout (layoutToUse), limits (limitsToCheck) {}

        std::string take() { return std::move (out); }

        /** Whether the text so far is one the reader takes back; when checked, writing stops
            at the first value past a limit. */
        bool isReadable() const { return readable && out.size() <= maxJsonTextBytes; }

        /** `level` counts the containers around the value (0 for the outermost). */
        void write (const juce::var& value, int level)
        {
            if (limits == ReaderLimits::checked && ! isReadable())
            {
                readable = false;
                return;
            }

            const bool fits = level < maxJsonDepth;

            // Cut to null, a container too deep would come back other than it was stored.
            if (limits == ReaderLimits::checked && ! fits && (value.isArray() || value.getDynamicObject() != nullptr))
                readable = false;

            if (value.isString())       appendString (out, value.toString());
            else if (value.isBool())    out += (bool) value ? "true" : "false";
            else if (value.isInt())     out += std::to_string ((int) value);
            else if (value.isInt64())   out += std::to_string ((juce::int64) value);
            else if (value.isDouble())  appendDouble (out, (double) value);
            else if (value.isArray() && fits)
                writeArray (*value.getArray(), level);
            else if (auto* object = value.getDynamicObject(); object != nullptr && fits)
                writeObject (*object, level);
            else
                out += "null";
        }

    private:
        bool indented() const { return layout == JsonLayout::indented; }

        void lineBreak (int level)
        {
            if (indented())
            {
                out += "\r\n";
                out.append ((size_t) (level * blanksPerLevel), ' ');
            }
        }

        void separator (int level)
        {
            out += ',';

            if (indented())
                lineBreak (level);
            else
                out += ' ';
        }

        void writeArray (const juce::Array<juce::var>& elements, int level)
        {
            out += '[';

            for (int i = 0; i < elements.size(); ++i)
            {
                if (i == 0)
                    lineBreak (level + 1);
                else
                    separator (level + 1);

                write (elements.getReference (i), level + 1);
            }

            if (! elements.isEmpty())
                lineBreak (level);

            out += ']';
        }

        void writeObject (juce::DynamicObject& object, int level)
        {
            const auto& members = object.getProperties();
            out += '{';

            if (limits == ReaderLimits::checked && members.size() > maxJsonObjectMembers)
                readable = false;

            for (int i = 0; i < members.size(); ++i)
            {
                if (i == 0)
                    lineBreak (level + 1);
                else
                    separator (level + 1);

                countName (members.getName (i));
                appendString (out, members.getName (i).toString());
                out += ": ";
                write (*members.getVarPointerAt (i), level + 1);
            }

            // Indented, an empty object still breaks the line: "{", CRLF, "}".
            if (! members.isEmpty() || indented())
                lineBreak (level);

            out += '}';
        }

        // The pooled text's address tells a name apart from every other.
        void countName (const juce::Identifier& name)
        {
            if (limits == ReaderLimits::checked
                && differentNames.insert (name.getCharPointer().getAddress()).second
                && differentNames.size() > (size_t) maxJsonMemberNames)
                readable = false;
        }

        JsonLayout layout;
        ReaderLimits limits;
        std::string out;
        bool readable = true;
        std::unordered_set<const void*> differentNames;
    };
}

std::string toJsonUtf8 (const juce::var& value, JsonLayout layout)
{
    Writer writer (layout, ReaderLimits::unchecked);
    writer.write (value, 0);
    return writer.take();
}

std::optional<std::string> toReadableJsonUtf8 (const juce::var& value, JsonLayout layout)
{
    Writer writer (layout, ReaderLimits::checked);
    writer.write (value, 0);

    if (! writer.isReadable())
        return std::nullopt;

    return writer.take();
}

juce::String toJson (const juce::var& value, JsonLayout layout)
{
    const auto text = toJsonUtf8 (value, layout);
    return juce::String::fromUTF8 (text.data(), (int) text.size());
}

} // namespace brindle
