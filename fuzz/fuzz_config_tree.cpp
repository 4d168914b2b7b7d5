// The configuration: the input stands as "vesk_station.conf" and is read
// into the value tree, every value goes through the conversions and the
// hub's readers, and [cells] builds the table of cells (each cell entry is a
// value tree of its own).

#include <QFile>

#include "core/core.h"
#include "fuzz_support.h"
#include "jalt/vx_file.h"
#include "jalt/vx_value_tree.h"

namespace {
const QString configFile = QStringLiteral("vesk_station.conf");

void convertAll(const VXValueTree& node)
{
    const VXVariant value = node.value();
    value.toBool();
    value.toInt();
    value.toDouble();
    value.toSystemTime();
    for (const VXValueTree& child : node.children()) {
        node.child(child.name());
        node.childValue(child.name());
        convertAll(child);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzSupport::init(argc, argv);
    FuzzSupport::station()->cellController.init(QStringLiteral("v1.7"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!VXFile::writeAll(configFile, FuzzSupport::bytes(data, size)))
        FuzzSupport::fail("cannot write the configuration file");
    StationCore* core = FuzzSupport::station();
    QStringList errors;
    core->config = VXValueTreeConversions::fromTextFile(configFile, &errors);
    convertAll(core->config);
    for (const VXValueTree& section : core->config.children()) {
        for (const VXValueTree& key : section.children()) {
            core->readDuration(section.name(), key.name(), QStringLiteral("1 s"));
            core->readBool(section.name(), key.name(), false);
            core->readInt(section.name(), key.name(), 0);
        }
    }
    core->cellsLogic.initialize(core->config.child(QStringLiteral("cells")));
    return 0;
}
