#include "support/RCPath.h"

namespace {

constexpr int32_t kSeparator = '\\';

// Removes the backslashes at the start of text (a run counts as one separator).
void StripLeadingSeparators(RCAnsiStr& text)
{
    while (text.FirstByte() == kSeparator)
        text.DeleteFirstChar();
}

// Removes the backslashes at the end of text. LastChar is -1 for the second
// byte of a double-byte character, so a character ending in 0x5C stays whole.
void StripTrailingSeparators(RCAnsiStr& text)
{
    while (text.LastChar() == kSeparator)
        text.DeleteLastChar();
}

bool IsUncStart(const RCAnsiStr& text)
{
    return text.ByteAt(0) == kSeparator && text.ByteAt(1) == kSeparator;
}

bool IsDriveStart(const RCAnsiStr& text)
{
    return text.ByteAt(1) == ':';
}

} // namespace

RCPath::RCPath(const char* text) : components_(new RCList<RCAnsiStr>(true, true, 10))
{
    if (text != nullptr && *text != '\0')
        SetPath(text);
}

RCPath::~RCPath() = default;

bool RCPath::SetPath(const char* text)
{
    components_->Clear();
    if (text == nullptr || *text == '\0') {
        Rebuild();
        return true;
    }

    RCAnsiStr work(text);
    if (!IsUncStart(work) && !IsDriveStart(work)) {
        // Relative: "x", "..\x" and "\x" alike go below the folder of the
        // program's own executable, never the current directory.
        RCPath folder;
        SetToModuleFile(folder);
        folder.RemoveLast();
        work.Insert(0, "\\");
        work.Insert(0, folder.Text());
        // The folder is absolute, so the text now starts with a drive or a
        // UNC name. When the folder could not be had (empty, or somehow not
        // absolute), prefixing again would never settle, and taking the text
        // as it stands could turn "x" into the server name \\x: leave the
        // path empty, the sign that nothing could be found.
        if (!IsUncStart(work) && !IsDriveStart(work)) {
            Rebuild();
            return true;
        }
    }
    if (IsUncStart(work)) {
        work.KeepAfter(1);
        components_->Add(new RCAnsiStr("\\"));
    }

    // Split at each backslash that is a character of its own.
    for (;;) {
        int32_t at = work.FindChar(kSeparator);
        if (at < 0) {
            if (work.Length() > 0)
                components_->Add(new RCAnsiStr(work.Text()));
            break;
        }
        if (at == 0)
            break; // an empty piece: three or more backslashes opened a UNC name
        RCAnsiStr* piece = new RCAnsiStr(work.Text());
        piece->KeepBefore(at);
        components_->Add(piece);
        work.KeepAfter(at);
        StripLeadingSeparators(work);
    }

    // Apply "." and ".."; a ".." takes the component before it whatever that
    // is (a drive too), and a ".." with nothing before it stays.
    int32_t i = 0;
    while (i < components_->Count()) {
        const RCAnsiStr* component = components_->Item(i);
        if (component->Compare(".") == 0) {
            components_->RemoveAt(i);
        } else if (component->Compare("..") == 0 && i >= 1) {
            components_->RemoveAt(i);
            components_->RemoveAt(i - 1);
            --i;
        } else {
            ++i;
        }
    }

    Rebuild();
    return true;
}

int32_t RCPath::AppendComponent(const char* component)
{
    int32_t index = components_->Add(new RCAnsiStr(component));
    Rebuild();
    return index;
}

bool RCPath::RemoveLast()
{
    bool removed = components_->RemoveAt(components_->Count() - 1);
    Rebuild();
    return removed;
}

int32_t RCPath::Count() const
{
    return components_->Count();
}

const char* RCPath::Component(int32_t index) const
{
    const RCAnsiStr* component = components_->Item(index);
    return component == nullptr ? "" : component->Text();
}

const char* RCPath::Last() const
{
    return Component(components_->Count() - 1);
}

const char* RCPath::Extension() const
{
    const RCAnsiStr* last = components_->Item(components_->Count() - 1);
    if (last == nullptr)
        return "";
    int32_t dot = last->FindLastChar('.');
    // A final dot points at the terminator: the empty text.
    return dot < 0 ? "" : last->Text() + dot + 1;
}

// The joined text: the non-empty components, each without backslashes at its
// ends, with one backslash between them. A UNC root (a lone backslash at
// index 0) is used as it is, so root, server and share give \\server\share
// and the root alone gives a single backslash; a lone drive gives "C:".
//
// The separator goes between pieces rather than after each piece with the
// last one taken off again: a piece that ends in a lone lead byte would make
// that last separator the second byte of a double-byte character, which
// could then not be told apart from the text and taken off.
void RCPath::Rebuild()
{
    text_.Assign("");
    bool first = true;
    for (int32_t i = 0; i < components_->Count(); ++i) {
        const RCAnsiStr* component = components_->Item(i);
        RCAnsiStr piece(component->Text());
        if (!(i == 0 && piece.Compare("\\") == 0)) {
            StripLeadingSeparators(piece);
            StripTrailingSeparators(piece);
        }
        if (piece.Length() == 0)
            continue;
        if (!first)
            text_.Append("\\");
        text_.Append(piece.Text());
        first = false;
    }
}
