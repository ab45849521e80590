// The response graph's work that belongs to the graph's commands: the axes taken from the
// behaviour parameters, the filter's upkeep, the reverse-correlation map and the analyses
// of the test types. Until those commands are in place the graph keeps the axes and the
// filter as they stand, leaves the map as it is and runs no analysis.
#include "document/orvixdoc.h"
#include "document/responsegraph.h"

namespace orvix {

void CResponseGraph::SetupAxesFromTest()
{
    // The axes are rebuilt from the variables as they stand, then the tables.
    OnUpdate(DocUpdate{HINT_COLUMN_CHANGED});
}

void CResponseGraph::PruneSelectionLists() {}

void CResponseGraph::UpdateReverseCorrelation(int latency, int duration, float minimum, float maximum) {}

void CResponseGraph::RunAnalysisMacro(AnalysisMacro macro) {}

} // namespace orvix
