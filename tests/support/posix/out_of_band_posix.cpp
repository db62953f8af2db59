#include <sys/socket.h>

#include "support/out_of_band.h"

bool SendOutOfBand(socket_t s)
{
    const char byte = '!';
    return ::send(static_cast<int>(s), &byte, 1, MSG_OOB | MSG_NOSIGNAL) == 1;
}
