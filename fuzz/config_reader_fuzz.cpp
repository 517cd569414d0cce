// Feeds arbitrary bytes to the configuration reader: validation, the walk
// over the node tree and the records it fills must never read outside the
// bytes or crash. Whatever was read must also write back out.
#include <cstdint>
#include <cstring>
#include <memory>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the bytes given, so reads past the end are caught.
  auto image = std::make_shared<plinth::ConfigImage>(data, data + size);
  plinth::Configuration config;
  plinth::RecordedMessages messages;
  plinth::ReadOutcome outcome = plinth::ReadConfigurationBytes(image, "fuzz", config, messages);
  if (outcome.ok) {
    // Records that carry cursors are copied from the image when written.
    plinth::EncodeConfiguration(config.dataList, config.master, messages);
  }
  // The cursor walk on its own, without the up-front validation. The walk
  // is bounded by a budget: an unvalidated count can repeat one node.
  std::string lastError;
  const std::span<const uint8_t> bytes(*image);
  plinth::NodeCursor root = plinth::OpenImage(bytes, lastError);
  int budget = 256;
  for (plinth::NodeCursor ioh = plinth::FirstChild(bytes, root, plinth::NodeKind::Root); ioh.Valid() && budget > 0;
       plinth::NextSibling(bytes, ioh), --budget) {
    for (plinth::NodeCursor e = plinth::FirstChild(bytes, ioh, plinth::NodeKind::IoH); e.Valid() && budget > 0;
         plinth::NextSibling(bytes, e), --budget) {
      plinth::CopySlaveEntry(bytes, e);
      plinth::NodeCursor g = plinth::FirstChild(bytes, e, plinth::NodeKind::SlaveEntry);
      for (plinth::NodeCursor b = plinth::FirstChild(bytes, g, plinth::NodeKind::IoGroup); b.Valid() && budget > 0;
           plinth::NextSibling(bytes, b), --budget)
        plinth::CopyIoBlock(bytes, b);
    }
  }
  return 0;
}
