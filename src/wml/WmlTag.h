#pragma once

#include <QByteArrayView>

// The tags of a WML deck that an XHTML page has something for, told apart
// by name once for every tag that passes.
class WmlTag {
public:
    enum Kind {
        Other,
        Link,
        Anchor,
        LineBreak,
        SameStyle,
        Underline,
        Paragraph,
        Go,
        Refresh,
        Image,
        Input,
        Select,
        Table,
        Do,
        Card,
        Template,
        Container
    };

    static Kind KindOf(QByteArrayView name);
};
