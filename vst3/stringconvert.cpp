// SPDX-License-Identifier: GPL-3.0-or-later
#include "vst3/stringconvert.h"

namespace Steinberg {
namespace StringConvert {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-8 at s[i], advancing i. Rejects overlong forms,
// surrogates and values above U+10FFFF.
char32_t decodeUtf8 (const std::string& s, size_t& i)
{
	auto byte = [&] (size_t k) { return static_cast<unsigned char> (s[k]); };
	unsigned char c = byte (i++);
	if (c < 0x80)
		return c;
	int extra;
	char32_t cp;
	char32_t min;
	if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; min = 0x80; }
	else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; min = 0x800; }
	else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; min = 0x10000; }
	else return kReplacement;
	for (int k = 0; k < extra; ++k)
	{
		if (i >= s.size () || (byte (i) & 0xC0) != 0x80)
			return kReplacement;
		cp = (cp << 6) | (byte (i++) & 0x3F);
	}
	if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
		return kReplacement;
	return cp;
}

void appendUtf8 (std::string& out, char32_t cp)
{
	if (cp < 0x80)
		out += static_cast<char> (cp);
	else if (cp < 0x800)
	{
		out += static_cast<char> (0xC0 | (cp >> 6));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else if (cp < 0x10000)
	{
		out += static_cast<char> (0xE0 | (cp >> 12));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
	else
	{
		out += static_cast<char> (0xF0 | (cp >> 18));
		out += static_cast<char> (0x80 | ((cp >> 12) & 0x3F));
		out += static_cast<char> (0x80 | ((cp >> 6) & 0x3F));
		out += static_cast<char> (0x80 | (cp & 0x3F));
	}
}

std::string fromUtf16 (const char16_t* s, size_t n)
{
	std::string out;
	for (size_t i = 0; i < n; ++i)
	{
		char32_t u = s[i];
		if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
		{
			u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
			++i;
		}
		else if (u >= 0xD800 && u <= 0xDFFF)
			u = kReplacement;
		appendUtf8 (out, u);
	}
	return out;
}

} // namespace

std::u16string convert (const std::string& utf8)
{
	std::u16string out;
	size_t i = 0;
	while (i < utf8.size ())
	{
		char32_t cp = decodeUtf8 (utf8, i);
		if (cp >= 0x10000)
		{
			cp -= 0x10000;
			out += static_cast<char16_t> (0xD800 + (cp >> 10));
			out += static_cast<char16_t> (0xDC00 + (cp & 0x3FF));
		}
		else
			out += static_cast<char16_t> (cp);
	}
	return out;
}

std::string convert (const std::u16string& utf16)
{
	return fromUtf16 (utf16.data (), utf16.size ());
}

std::string convert (const char16* utf16, int32 maxChars)
{
	if (!utf16 || maxChars <= 0)
		return {};
	size_t n = 0;
	while (n < static_cast<size_t> (maxChars) && utf16[n] != 0)
		++n;
	return fromUtf16 (reinterpret_cast<const char16_t*> (utf16), n);
}

bool convert (const std::string& utf8, char16* dest, int32 maxChars)
{
	if (!dest || maxChars <= 0)
		return false;
	std::u16string wide = convert (utf8);
	size_t limit = static_cast<size_t> (maxChars - 1);
	size_t n = wide.size () <= limit ? wide.size () : limit;
	// Never split a surrogate pair.
	if (n > 0 && n < wide.size () && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF)
		--n;
	for (size_t i = 0; i < n; ++i)
		dest[i] = static_cast<char16> (wide[i]);
	dest[n] = 0;
	return true;
}

} // namespace StringConvert
} // namespace Steinberg
