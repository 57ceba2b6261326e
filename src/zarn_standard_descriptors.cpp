#include "zarn_standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace Zarn {

void openClosedStandardDescriptors()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one, as those below are open.
        // Without /dev/null (a bare chroot), a descriptor of the root
        // directory holds the place: reading and writing fail on it, as on a
        // closed one.
        int opened = ::open("/dev/null", O_RDWR);
        if (opened == -1)
            opened = ::open("/", O_PATH);
        if (opened != -1 && opened != descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
}

}  // namespace Zarn
