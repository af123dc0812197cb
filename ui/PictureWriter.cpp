#include <QByteArray>
#include <veltrane/graph/PictureExport.h>
#include <veltrane/process/AtomicFile.h>
#include <veltrane/ui/PictureWriter.h>

namespace veltrane::ui {
using namespace veltrane::classic;
using namespace veltrane::cli;
using namespace veltrane::process;
using namespace veltrane::graph;

void PictureWriter::write(Module1& store, const cli::PlotRequest& request) {
    // Where the file cannot be made, nothing needs drawing.
    AtomicFile file(request.file);
    const OffscreenGraph graph(
        store,
        {request.grid,
         request.kind == cli::PlotKind::Multifractal ? kMultifractalCaptions : kSpectrumCaptions,
         cli::marksLonePoints(request.kind)});
    if (const std::optional<RuntimeError>& error = graph.drawingError()) {
        throw *error;
    }
    QByteArray bytes;
    switch (request.format) {
    case cli::PictureFormat::Png:
        bytes = pngOf(graph.window(), request.dpi);
        break;
    case cli::PictureFormat::Svg:
        bytes = svgOf(graph.window());
        break;
    case cli::PictureFormat::Pdf:
        bytes = pdfOf(graph.window());
        break;
    }
    if (bytes.isEmpty()) {
        throw Error("drawing the picture failed");
    }
    file.write({bytes.constData(), static_cast<std::size_t>(bytes.size())});
    file.commit();
}

} // namespace veltrane::ui
