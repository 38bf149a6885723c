#pragma once

#include <QByteArray>
#include <QtGlobal>

// The state a page needs behind one link of the site. A deck carries only
// the record's index (and, with the site password on, its key).
struct LinkState {
    QByteArray D; // folder
    QByteArray U; // the folder D was reached from
    QByteArray F; // file name within D
    qint16 P = 1; // page number
    QByteArray M; // module: "F", "G", "M"; empty for the main menu
    QByteArray A; // action within the module
    QByteArray K; // the link's key while the site password was on
    QByteArray C; // "Y" on a confirmed My Computer link

    // The field named by one capital letter (D, U, F, P, M, A, K, C) as text;
    // empty for any other letter.
    QByteArray Field(char letter) const;
};
