// The response graph's work that belongs to the graph's commands: the axes taken from the
// behaviour parameters, the filter's upkeep and the reverse-correlation map. Until those
// commands are in place the graph keeps the axes and filter as they stand and leaves the
// map as it is.
#include "document/orvixdoc.h"
#include "document/responsegraph.h"

namespace orvix {

void CResponseGraph::SetupAxesFromTest() { RebuildAxes(false); }

void CResponseGraph::PruneSelectionLists() {}

void CResponseGraph::UpdateReverseCorrelation(int latency, int duration, float minimum, float maximum) {}

} // namespace orvix
