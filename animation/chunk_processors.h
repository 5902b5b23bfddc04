#pragma once

namespace Anim {

class Importer;

// Registers the processors of the actor file's node, limit, mesh and skinning
// chunks. False when one could not be registered.
bool RegisterStandardChunkProcessors(Importer& importer);

}  // namespace Anim
