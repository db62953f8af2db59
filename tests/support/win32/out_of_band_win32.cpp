#include <winsock2.h>

#include "support/out_of_band.h"

bool SendOutOfBand(socket_t s)
{
    const char byte = '!';
    return ::send(static_cast<SOCKET>(s), &byte, 1, MSG_OOB) == 1;
}
