#include "resources/Resources.h"

#include <QtCore/QtGlobal>

// Outside any namespace: the macro declares the resource's registration function.
static void registerArtwork() { Q_INIT_RESOURCE(artwork); }

namespace spinlorex::resources {

void initialise() { registerArtwork(); }

}  // namespace spinlorex::resources
