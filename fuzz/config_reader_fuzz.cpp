// Feeds arbitrary bytes to the configuration reader: validation, the walk
// over the node tree and the records it fills must never read outside the
// bytes or crash. Whatever was read must also write back out.
#include <cstdint>
#include <cstring>
#include <memory>

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
  // The cursor walk on its own, without the up-front validation.
  std::string lastError;
  plinth::NodeCursor root = plinth::OpenImage(*image, lastError);
  int visited = 0;
  for (plinth::NodeCursor ioh = plinth::FirstChild(*image, root, plinth::NodeKind::Root); ioh.Valid() && visited < 4096;
       plinth::NextSibling(*image, ioh)) {
    for (plinth::NodeCursor e = plinth::FirstChild(*image, ioh, plinth::NodeKind::IoH); e.Valid() && visited < 4096;
         plinth::NextSibling(*image, e), ++visited) {
      plinth::CopySlaveEntry(*image, e);
      plinth::NodeCursor g = plinth::FirstChild(*image, e, plinth::NodeKind::SlaveEntry);
      for (plinth::NodeCursor b = plinth::FirstChild(*image, g, plinth::NodeKind::IoGroup); b.Valid();
           plinth::NextSibling(*image, b))
        plinth::CopyIoBlock(*image, b);
    }
  }
  return 0;
}
