// The stored form of the database records: a blob read from a row is decoded
// as each of the five records. Whatever a blob decodes to must store and
// read back unchanged, since the station writes its records back after every
// change.

#include "fuzz_support.h"
#include "storage/database_structs.h"
#include "vexo/vx_conversions.h"

namespace {
template <typename Record> void decode(const QByteArray& blob, const char* name)
{
    const QByteArray stored = vxqSerialize(vxqDeserialize<Record>(blob));
    const QByteArray again = vxqSerialize(vxqDeserialize<Record>(stored));
    if (stored != again)
        FuzzSupport::fail(name, "stored  " + stored.toHex(' ') + "\nagain   " + again.toHex(' '));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray blob = FuzzSupport::bytes(data, size);
    decode<DatabaseStructs::User>(blob, "User does not read back as stored");
    decode<DatabaseStructs::Device>(blob, "Device does not read back as stored");
    decode<DatabaseStructs::DeviceFault>(blob, "DeviceFault does not read back as stored");
    decode<DatabaseStructs::ChangeServer>(blob, "ChangeServer does not read back as stored");
    decode<DatabaseStructs::ServerLog>(blob, "ServerLog does not read back as stored");
    return 0;
}
