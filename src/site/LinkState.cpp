#include "site/LinkState.h"

QByteArray LinkState::Field(char letter) const {
    switch (letter) {
    case 'D':
        return D;
    case 'U':
        return U;
    case 'F':
        return F;
    case 'P':
        return QByteArray::number(P);
    case 'M':
        return M;
    case 'A':
        return A;
    case 'K':
        return K;
    case 'C':
        return C;
    default:
        return {};
    }
}
