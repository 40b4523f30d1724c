#include "carrier_read.h"
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include "carrier.h"

// As in the program's loader: the block is as large as the file, the check
// only ever sees the bytes the read delivered, and a refused block is freed.
CarrierVerdict ReadCarrierFile(const char* path, const int16_t** samples, uint32_t* length)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return CarrierCannotOpen;
    CarrierVerdict verdict = CarrierCannotRead;
    struct stat status;
    if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode)) {
        size_t size = static_cast<size_t>(status.st_size);
        uint8_t* block = static_cast<uint8_t*>(AllocateCarrierBlock(size ? size : 1));
        if (!block) {
            verdict = CarrierNoMemory;
        } else {
            size_t count = fread(block, 1, size, file);
            if (ferror(file))
                free(block);
            else
                verdict = AdoptCarrierBlock(block, count, samples, length);
        }
    }
    fclose(file);
    return verdict;
}
