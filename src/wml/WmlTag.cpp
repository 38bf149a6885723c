#include "wml/WmlTag.h"

#include "wml/WmlTokenizer.h"

// What the element is to the page, looked up by length first, as each tag
// of the deck passes here.
WmlTag::Kind WmlTag::KindOf(QByteArrayView name) {
    const auto is = [&](QByteArrayView known) { return WmlTokenizer::Same(name, known); };
    switch (name.size()) {
    case 1:
        return is("a")              ? Link
               : is("p")            ? Paragraph
               : is("b") || is("i") ? SameStyle
               : is("u")            ? Underline
                                    : Other;
    case 2:
        return is("br") ? LineBreak : is("em") ? SameStyle : is("go") ? Go : is("do") ? Do : Other;
    case 3:
        return is("big") ? SameStyle : is("img") ? Image : is("wml") ? Container : Other;
    case 4:
        return is("card") ? Card : Other;
    case 5:
        return is("small") ? SameStyle : is("input") ? Input : is("table") ? Table : Other;
    case 6:
        return is("anchor") ? Anchor : is("strong") ? SameStyle : is("select") ? Select : Other;
    case 7:
        return is("refresh") ? Refresh : Other;
    case 8:
        return is("template") ? Template : is("fieldset") ? Container : Other;
    default:
        return Other;
    }
}
