// Renders a typical folder-page deck and prints what a render costs, per deck
// and per character, next to the cost of merely copying the same text and of
// rendering a deck a hundred times larger (which shows that rendering stays
// linear), and what the same page costs as XHTML for browsers without WML
// (converted from the deck's text) next to the WML render. Build in Release
// and run: build-bench/bench/bench_wml_render
#include "wml/WmlDeck.h"
#include "wml/XhtmlRenderer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// A folder page as the site builds it: an up link, one linked entry per
// line, the page navigation and the way back to the menu.
void AddFolderEntry(CParagraph& paragraph, int index) {
    QByteArray title = "[D] Holiday Photos " + QByteArray::number(2000 + index);
    paragraph.AddAnchor(title.left(24), "/?S=" + QByteArray::number(1000 + index) + "&amp;K=7Q2X");
    paragraph.AddLineBreak(1);
}

std::shared_ptr<CDeck> FolderPage(int entries) {
    auto deck = std::make_shared<CDeck>();
    auto paragraph = deck->AddNewCard("Files", "Files")->AddNewParagraph();
    paragraph->AddAnchor("[<]/home/me/Pictures/", "/?S=999&amp;K=7Q2X");
    paragraph->AddLineBreak(1);
    for (int index = 0; index < entries; ++index)
        AddFolderEntry(*paragraph, index);
    paragraph->AddAnchor("Forward to Page 2", "/?S=1998&amp;K=7Q2X");
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("[-] Root Level", "/?S=1999&amp;K=7Q2X");
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("[^] Main Menu", "/?S=2000&amp;K=7Q2X");
    return deck;
}

// The median over several batches of the time of one call, in nanoseconds.
double NanosecondsPerCall(const std::function<void()>& call, int callsPerBatch) {
    std::vector<double> batches;
    for (int batch = 0; batch < 15; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < callsPerBatch; ++i)
            call();
        const std::chrono::duration<double, std::nano> elapsed =
            std::chrono::steady_clock::now() - start;
        batches.push_back(elapsed.count() / callsPerBatch);
    }
    std::nth_element(batches.begin(), batches.begin() + 7, batches.end());
    return batches[7];
}

qsizetype g_sink = 0; // keeps the optimiser from dropping the measured work

} // namespace

int main() {
    const auto page = FolderPage(13);
    const QByteArray text = page->GetWML();
    const double render = NanosecondsPerCall([&] { g_sink += page->GetWML().size(); }, 20000);
    const double copy = NanosecondsPerCall(
        [&] {
            QByteArray copied(text.constData(), text.size());
            g_sink += copied.size();
        },
        20000);

    const auto large = FolderPage(1300);
    const qsizetype largeSize = large->GetWML().size();
    const double renderLarge = NanosecondsPerCall([&] { g_sink += large->GetWML().size(); }, 200);

    // The folder page renders its deck after every entry to measure it.
    const double buildMeasured = NanosecondsPerCall(
        [] {
            CDeck deck;
            auto paragraph = deck.AddNewCard("Files", "Files")->AddNewParagraph();
            for (int index = 0; index < 13; ++index) {
                AddFolderEntry(*paragraph, index);
                g_sink += deck.GetWML().size();
            }
        },
        2000);

    const qsizetype xhtmlSize = XhtmlRenderer::FromWml(text).size();
    const double xhtml =
        NanosecondsPerCall([&] { g_sink += XhtmlRenderer::FromWml(page->GetWML()).size(); }, 5000);
    const double conversion =
        NanosecondsPerCall([&] { g_sink += XhtmlRenderer::FromWml(text).size(); }, 5000);
    // The WML render again, right after, as the machine's load changes.
    const double renderAgain = NanosecondsPerCall([&] { g_sink += page->GetWML().size(); }, 20000);

    std::printf("typical folder page: %lld characters\n", static_cast<long long>(text.size()));
    std::printf("  render:             %8.0f ns per render, %6.2f ns per character\n", render,
                render / text.size());
    std::printf("  copy of the text:   %8.0f ns (render / copy = %.1f)\n", copy, render / copy);
    std::printf("  build, rendering after each of 13 entries: %.0f ns per page\n", buildMeasured);
    std::printf("large deck: %lld characters\n", static_cast<long long>(largeSize));
    std::printf("  render:             %8.0f ns per render, %6.2f ns per character "
                "(per-character ratio large / typical = %.2f)\n",
                renderLarge, renderLarge / largeSize,
                (renderLarge / largeSize) / (render / text.size()));
    std::printf("the same page as XHTML: %lld characters\n", static_cast<long long>(xhtmlSize));
    std::printf("  WML render %8.0f ns | XHTML (WML render + conversion) %8.0f ns | "
                "XHTML / WML = %.1f\n",
                render, xhtml, xhtml / render);
    std::printf("  conversion alone %8.0f ns | WML render measured again %8.0f ns | "
                "conversion / WML = %.2f\n",
                conversion, renderAgain, conversion / renderAgain);
    return g_sink == 0;
}
