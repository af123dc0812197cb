#include <veltrane/graph/GraphWindowHost.h>
#include <veltrane/graph/GraphWindowLayout.h>
#include <veltrane/graph/frmGraph1D.h>

namespace veltrane::graph {
using namespace veltrane::classic;

GraphWindowHost::GraphWindowHost(Module1& store, const GraphServices& services)
    : m_store(store), m_services(services) {}

GraphWindowHost::~GraphWindowHost() {
    delete m_window.data();
}

frmGraph1D* GraphWindowHost::window() const {
    return m_window.data();
}

void GraphWindowHost::show_spectrum() {
    show(kSpectrumCaptions);
}

void GraphWindowHost::show(const GraphCaptions& captions) {
    // A closed window deletes itself at the next turn of the event loop; until then it must
    // not be shown again, so a new one takes its place at once.
    if (m_window.isNull() || m_window->isClosing()) {
        // No parent: the window has no owner and lives until the user closes it, when
        // WA_DeleteOnClose deletes it and the QPointer turns null.
        m_window = new frmGraph1D(m_store, m_services);
    }
    if (!m_services.hidden) {
        m_window->show();
        m_window->raise();
    }
    m_window->setPictureName(m_pictureName);
    m_window->setCaptions(captions);
    m_window->redraw();
}

} // namespace veltrane::graph
