#pragma once

#include "common/CRaisedError.h"

#include <QtGlobal>

// The number of the error that call raises, 0 when it raises none.
template <typename F> quint32 RaisedNumber(F call)
{
    try {
        call();
    } catch (const CRaisedError& error) {
        return error.Number();
    }
    return 0;
}
