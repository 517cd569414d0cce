#include "ui/resources.h"

#include <QtGlobal>

static void InitPlinthResources() { Q_INIT_RESOURCE(plinth); }

namespace plinth {
void LoadResources() { InitPlinthResources(); }
}  // namespace plinth
