#include "html_parser.h"

#include <algorithm>
#include <cwctype>

#include "css.h"

namespace hl {

namespace {

bool IsLetter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

wchar_t LowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
}

bool StartsWithNoCase(const std::wstring& text, size_t pos, const wchar_t* prefix)
{
    for (size_t i = 0; prefix[i]; ++i)
        if (pos + i >= text.size() || LowerAscii(text[pos + i]) != prefix[i])
            return false;
    return true;
}

void AppendCodePoint(std::wstring& out, unsigned long cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// The named character references pages use: Latin-1 from U+00A0 on, in code order, then the
// others with their code points.
const char kLatin1Names[] =
    "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 sup3 acute "
    "micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc Atilde Auml Aring "
    "AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times "
    "Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil egrave "
    "eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash ugrave "
    "uacute ucirc uuml yacute thorn yuml ";
const struct {
    const char* name;
    unsigned short code;
} kNamedReferences[] = {
    {"quot", 34}, {"amp", 38}, {"apos", 39}, {"lt", 60}, {"gt", 62}, {"OElig", 338}, {"oelig", 339},
    {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376}, {"fnof", 402}, {"circ", 710}, {"tilde", 732},
    {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204}, {"zwj", 8205}, {"lrm", 8206},
    {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216}, {"rsquo", 8217}, {"sbquo", 8218},
    {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222}, {"dagger", 8224}, {"Dagger", 8225}, {"bull", 8226},
    {"hellip", 8230}, {"permil", 8240}, {"prime", 8242}, {"Prime", 8243}, {"lsaquo", 8249}, {"rsaquo", 8250},
    {"oline", 8254}, {"frasl", 8260}, {"euro", 8364}, {"trade", 8482}, {"larr", 8592}, {"uarr", 8593},
    {"rarr", 8594}, {"darr", 8595}, {"harr", 8596}, {"crarr", 8629}, {"lArr", 8656}, {"uArr", 8657},
    {"rArr", 8658}, {"dArr", 8659}, {"hArr", 8660}, {"forall", 8704}, {"part", 8706}, {"exist", 8707},
    {"empty", 8709}, {"nabla", 8711}, {"isin", 8712}, {"notin", 8713}, {"ni", 8715}, {"prod", 8719},
    {"sum", 8721}, {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733}, {"infin", 8734},
    {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746}, {"int", 8747}, {"there4", 8756},
    {"sim", 8764}, {"cong", 8773}, {"asymp", 8776}, {"ne", 8800}, {"equiv", 8801}, {"le", 8804}, {"ge", 8805},
    {"sub", 8834}, {"sup", 8835}, {"nsub", 8836}, {"sube", 8838}, {"supe", 8839}, {"oplus", 8853},
    {"otimes", 8855}, {"perp", 8869}, {"sdot", 8901}, {"lceil", 8968}, {"rceil", 8969}, {"lfloor", 8970},
    {"rfloor", 8971}, {"lang", 9001}, {"rang", 9002}, {"loz", 9674}, {"spades", 9824}, {"clubs", 9827},
    {"hearts", 9829}, {"diams", 9830}, {"thetasym", 977}, {"upsih", 978}, {"piv", 982}, {"sigmaf", 962},
};
// The Greek letters, capitals from U+0391 and small ones from U+03B1 ("-" marks a gap).
const char kGreekNames[] =
    "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi Rho - Sigma Tau Upsilon "
    "Phi Chi Psi Omega ";

// Finds name in a list of names separated by blanks; its position, or -1.
int Position(const char* list, const std::wstring& name)
{
    int index = 0;
    for (const char* p = list; *p; ++index) {
        size_t n = 0;
        while (p[n] != ' ')
            ++n;
        bool same = n == name.size();
        for (size_t i = 0; same && i < n; ++i)
            same = static_cast<wchar_t>(p[i]) == name[i];
        if (same)
            return index;
        p += n + 1;
    }
    return -1;
}

// The code point of a named reference, or 0.
unsigned NamedReference(const std::wstring& name)
{
    int at = Position(kLatin1Names, name);
    if (at >= 0)
        return 0xA0 + at;
    for (const auto& named : kNamedReferences) {
        size_t i = 0;
        while (named.name[i] && i < name.size() && static_cast<wchar_t>(named.name[i]) == name[i])
            ++i;
        if (!named.name[i] && i == name.size())
            return named.code;
    }
    if ((at = Position(kGreekNames, name)) >= 0)
        return 0x391 + at;
    if (!name.empty() && (at = Position(kGreekNames, std::wstring(1, towupper(name[0])) + name.substr(1))) >= 0 &&
        name[0] >= L'a')
        return 0x3B1 + at;
    return 0;
}

// Character references; an unknown or unterminated one stays as written.
std::wstring DecodeEntities(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            out += text[i] ? text[i] : wchar_t(0xFFFD);
            continue;
        }
        const size_t semicolon = text.find(L';', i + 1);
        const std::wstring name = semicolon - i <= 10 ? text.substr(i + 1, semicolon - i - 1) : L"";
        unsigned long cp = 0;
        if (name.size() >= 2 && name[0] == L'#') {
            const bool hex = name[1] == L'x' || name[1] == L'X';
            const std::wstring digits = name.substr(hex ? 2 : 1);
            wchar_t* end = nullptr;
            const unsigned long value = wcstoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && *end == 0 && std::iswxdigit(digits[0]))
                AppendCodePoint(out, value), cp = 1;
        } else if (!name.empty() && (cp = NamedReference(name)) != 0) {
            AppendCodePoint(out, cp);
        }
        if (cp) {
            i = semicolon;
            continue;
        }
        // The Latin-1 names and the markup's four are also read without their semicolon, the
        // longest that fits.
        size_t n = 0;
        while (n < 8 && i + 1 + n < text.size() && IsLetter(text[i + 1 + n]))
            ++n;
        for (; n >= 2; --n) {
            const std::wstring prefix = text.substr(i + 1, n);
            const int at = Position(kLatin1Names, prefix);
            const unsigned code = at >= 0 ? 0xA0 + at : prefix == L"amp" ? L'&' : prefix == L"lt" ? L'<'
                                                       : prefix == L"gt" ? L'>' : prefix == L"quot" ? L'"' : 0;
            if (code) {
                out += static_cast<wchar_t>(code);
                i += n;
                break;
            }
        }
        if (n < 2)
            out += L'&';
    }
    return out;
}

const wchar_t* const kVoidTags[] = {L"img",  L"br",   L"hr",    L"meta",   L"link", L"input", L"area",
                                    L"base", L"col",  L"embed", L"param",  L"source", L"track", L"wbr"};
// Tags that end an open element of the same name when they start inside it.
const wchar_t* const kSelfClosingSiblings[] = {L"li", L"p", L"option", L"dt", L"dd", L"tr", L"td", L"th"};
// Tags whose start ends an open paragraph.
const wchar_t* const kParagraphEnders[] = {L"p",  L"div", L"ul", L"ol", L"h1", L"h2", L"h3", L"h4", L"h5",
                                           L"h6", L"table", L"form", L"pre", L"blockquote", L"hr", L"dl"};

template <size_t N>
bool OneOf(const std::wstring& tag, const wchar_t* const (&list)[N])
{
    return std::any_of(std::begin(list), std::end(list), [&](const wchar_t* item) { return tag == item; });
}

class Parser {
public:
    Parser(const std::wstring& text, Document& document) : s_(text), document_(document)
    {
        document_.root = NewElement(L"html");
        open_.push_back(document_.root);
    }

    void Run()
    {
        while (pos_ < s_.size()) {
            if (s_[pos_] != L'<') {
                const size_t next = std::min(s_.find(L'<', pos_), s_.size());
                AddText(DecodeEntities(s_.substr(pos_, next - pos_)));
                pos_ = next;
            } else if (s_.compare(pos_, 4, L"<!--") == 0) {
                const size_t end = s_.find(L"-->", pos_ + 4);
                pos_ = end == std::wstring::npos ? s_.size() : end + 3;
            } else if (pos_ + 1 < s_.size() && (s_[pos_ + 1] == L'!' || s_[pos_ + 1] == L'?')) {
                SkipPast(L'>');
            } else if (pos_ + 2 < s_.size() && s_[pos_ + 1] == L'/' && IsLetter(s_[pos_ + 2])) {
                pos_ += 2;
                const std::wstring name = Name();
                SkipPast(L'>');
                EndTag(name);
            } else if (pos_ + 1 < s_.size() && IsLetter(s_[pos_ + 1])) {
                ++pos_;
                StartTag();
            } else {
                AddText(L"<");
                ++pos_;
            }
        }
    }

private:
    void SkipPast(wchar_t c)
    {
        const size_t end = s_.find(c, pos_);
        pos_ = end == std::wstring::npos ? s_.size() : end + 1;
    }

    std::wstring Name()
    {
        std::wstring name;
        while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != L'/' && s_[pos_] != L'>' &&
               s_[pos_] != L'=')
            name += LowerAscii(s_[pos_++]);
        return name;
    }

    void SkipSpace()
    {
        while (pos_ < s_.size() && IsSpace(s_[pos_]))
            ++pos_;
    }

    std::wstring AttributeValue()
    {
        if (pos_ >= s_.size())
            return L"";
        const wchar_t quote = s_[pos_];
        size_t end;
        if (quote == L'"' || quote == L'\'') {
            end = std::min(s_.find(quote, pos_ + 1), s_.size());
            std::wstring value = s_.substr(pos_ + 1, end - pos_ - 1);
            pos_ = std::min(end + 1, s_.size());
            return DecodeEntities(value);
        }
        end = pos_;
        while (end < s_.size() && !IsSpace(s_[end]) && s_[end] != L'>')
            ++end;
        std::wstring value = s_.substr(pos_, end - pos_);
        pos_ = end;
        return DecodeEntities(value);
    }

    void StartTag()
    {
        Element* e = NewElement(Name());
        bool selfClosing = false;
        while (pos_ < s_.size()) {
            SkipSpace();
            if (pos_ >= s_.size())
                break;
            if (s_[pos_] == L'>') {
                ++pos_;
                break;
            }
            if (s_[pos_] == L'/') {
                selfClosing = pos_ + 1 < s_.size() && s_[pos_ + 1] == L'>';
                ++pos_;
                continue;
            }
            std::wstring name = Name();
            if (name.empty()) {  // a lone "=": skip it
                ++pos_;
                continue;
            }
            SkipSpace();
            std::wstring value;
            if (pos_ < s_.size() && s_[pos_] == L'=') {
                ++pos_;
                SkipSpace();
                value = AttributeValue();
            }
            if (!e->Attribute(name))
                e->attributes.emplace_back(std::move(name), std::move(value));
        }
        Open(e, selfClosing);
    }

    void Open(Element* e, bool selfClosing)
    {
        const std::wstring& tag = e->tag;
        if (tag == L"html") {  // its attributes join the root made in advance
            for (auto& attribute : e->attributes)
                if (!document_.root->Attribute(attribute.first))
                    document_.root->attributes.push_back(attribute);
            Unuse(e);
            return;
        }
        if (open_.size() > 1 && OneOf(tag, kSelfClosingSiblings) && open_.back()->tag == tag)
            open_.pop_back();
        if (open_.size() > 1 && OneOf(tag, kParagraphEnders) && open_.back()->tag == L"p")
            open_.pop_back();
        AppendChild(open_.back(), e);
        if (tag == L"style" || tag == L"script" || tag == L"title" || tag == L"textarea") {
            RawText(e);
            return;
        }
        if (!selfClosing && !OneOf(tag, kVoidTags) && open_.size() < static_cast<size_t>(kMaxDepth))
            open_.push_back(e);
    }

    // Content up to the element's end tag, taken as text (with references decoded outside
    // scripts and style sheets).
    void RawText(Element* e)
    {
        const std::wstring close = L"</" + e->tag;
        size_t end = pos_;
        while (end < s_.size() && !StartsWithNoCase(s_, end, close.c_str()))
            ++end;
        std::wstring text = s_.substr(pos_, end - pos_);
        if (e->tag == L"title" || e->tag == L"textarea")
            text = DecodeEntities(text);
        pos_ = end;
        if (pos_ < s_.size())
            SkipPast(L'>');
        if (text.empty())
            return;
        Element* node = NewElement(L"");
        node->text = std::move(text);
        AppendChild(e, node);
        if (e->tag == L"style")
            ParseStyleSheet(node->text, document_.rules);
    }

    void EndTag(const std::wstring& name)
    {
        if (name == L"html" || name == L"body")
            return;  // content after them still belongs to the body
        for (size_t i = open_.size(); i-- > 1;) {
            if (open_[i]->tag == name) {
                open_.resize(i);
                return;
            }
        }
    }

    void AddText(const std::wstring& text)
    {
        if (text.empty())
            return;
        Element* parent = open_.back();
        if (!parent->children.empty() && parent->children.back()->IsText()) {
            parent->children.back()->text += text;
            return;
        }
        Element* node = NewElement(L"");
        node->text = text;
        AppendChild(parent, node);
    }

    const std::wstring& s_;
    Document& document_;
    std::vector<Element*> open_;
    size_t pos_ = 0;
};

void AddUrl(Document& document, const std::wstring& url)
{
    if (!url.empty() && std::find(document.urls.begin(), document.urls.end(), url) == document.urls.end())
        document.urls.push_back(url);
}

void CollectDeclarationUrls(Document& document, const std::vector<Declaration>& declarations,
                            const std::wstring& baseUrl)
{
    for (const Declaration& d : declarations)
        AddUrl(document, ResolveUrl(baseUrl, UrlOf(d.value)));
}

}  // namespace

std::wstring DecodePage(const BYTE* data, size_t size)
{
    if (!data || size == 0)
        return L"";
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        std::wstring text((size - 2) / 2, L'\0');
        std::copy_n(data + 2, text.size() * 2, reinterpret_cast<BYTE*>(&text[0]));
        return text;
    }
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    const int length = static_cast<int>(std::min<size_t>(size, 0x7FFFFFFF));
    UINT codePage = CP_UTF8;
    int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(data), length,
                                    nullptr, 0);
    if (chars <= 0) {
        codePage = CP_ACP;
        chars = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(data), length, nullptr, 0);
    }
    if (chars <= 0)
        return L"";
    std::wstring text(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(data), length, &text[0], chars);
    return text;
}

std::unique_ptr<Document> ParseHtml(const std::wstring& text, const std::wstring& baseUrl)
{
    std::unique_ptr<Document> document(new Document);
    Parser(text, *document).Run();
    for (const Rule& rule : document->rules)
        CollectDeclarationUrls(*document, rule.declarations, baseUrl);
    std::vector<std::wstring> candidates;
    ForEachDescendant(document->root, [&](Element* e) {
        if (e->tag == L"img") {
            if (const std::wstring* source = e->Attribute(L"src"))
                AddUrl(*document, ResolveUrl(baseUrl, *source));
            if (const std::wstring* srcset = e->Attribute(L"srcset"))
                for (const SourceCandidate& candidate : SrcsetCandidates(*srcset))
                    candidates.push_back(ResolveUrl(baseUrl, candidate.url));
        }
        if (const std::wstring* style = e->Attribute(L"style"))
            CollectDeclarationUrls(*document, ParseDeclarations(*style), baseUrl);
    });
    for (const std::wstring& url : candidates) {
        const size_t before = document->urls.size();
        AddUrl(*document, url);
        if (document->urls.size() != before)
            document->alternates.push_back(url);
    }
    return document;
}

}  // namespace hl
