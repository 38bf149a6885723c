// Renders a typical folder-page deck and prints what a render costs, per deck
// and per character, next to the cost of merely copying the same text and of
// rendering a deck a hundred times larger (which shows that rendering stays
// linear), and a table of what five of the site's pages cost as XHTML for
// browsers without WML next to the same page as WML: the WML page is the
// deck's build and its render, the XHTML page that plus the conversion of
// the rendered deck. Build in Release and run: build-bench/bench/bench_wml_render
#include "wml/WmlDeck.h"
#include "wml/XhtmlRenderer.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>
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

// The welcome page with the site password off (a picture and a message), and
// with it on (the login form), as the site builds them.
QByteArray WelcomePage(bool password) {
    CDeck deck;
    auto paragraph = deck.AddNewCard("Pocketlane", "Pocketlane")->AddNewParagraph();
    if (!password) {
        paragraph->AddImage("/?S=17&amp;K=7Q2X", "Welcome!", 1);
        paragraph->AddLineBreak(1);
        paragraph->NormalText("Welcome to my phone site & its pictures", true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Enter", "/?S=18&amp;K=7Q2X");
    } else {
        paragraph->NormalText("Please enter Password:", true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Login", "/?P=$(P)");
    }
    paragraph->AddLineBreak(2);
    paragraph->NormalText("Powered by Pocketlane", true);
    return deck.GetWML();
}

QByteArray MainMenu() {
    CDeck deck;
    auto paragraph = deck.AddNewCard("Main Menu", "MainMenu")->AddNewParagraph();
    for (const char* module : {"Shared Folders", "Graffiti", "My Computer"}) {
        paragraph->AddAnchor(module, "/?S=" + QByteArray::number(qstrlen(module)) + "&amp;K=7Q2X");
        paragraph->AddLineBreak(1);
    }
    paragraph->AddLineBreak(1);
    paragraph->NormalText("Powered by Pocketlane", true);
    return deck.GetWML();
}

// A full page of the board: ten posts, every other one in italics.
QByteArray GraffitiBoard() {
    CDeck deck;
    auto paragraph = deck.AddNewCard("Graffiti", "Graffiti")->AddNewParagraph();
    for (int post = 0; post < 10; ++post) {
        const QByteArray text = "Post " + QByteArray::number(post) + ": hello <world> & friends";
        if (post % 2 == 1)
            paragraph->ItalicText(text, true);
        else
            paragraph->NormalText(text, true);
    }
    paragraph->BoldText("==============", true);
    paragraph->AddAnchor("Forward to Page 2", "/?S=31&amp;K=7Q2X");
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("Add Graffiti", "/?S=32&amp;K=7Q2X");
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("[^] Main Menu", "/?S=33&amp;K=7Q2X");
    return deck.GetWML();
}

// The CPU time this thread has used, in nanoseconds: the figures then hold
// on a machine busy with other work.
double ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

// The median over several batches of the CPU time of one call, in
// nanoseconds.
double NanosecondsPerCall(const std::function<void()>& call, int callsPerBatch) {
    std::vector<double> batches;
    for (int batch = 0; batch < 15; ++batch) {
        const double start = ThreadCpuNanoseconds();
        for (int i = 0; i < callsPerBatch; ++i)
            call();
        batches.push_back((ThreadCpuNanoseconds() - start) / callsPerBatch);
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

    // Each page as WML (build and render) and as XHTML (the same and the
    // conversion), measured one right after the other.
    const std::pair<const char*, std::function<QByteArray()>> sitePages[] = {
        {"welcome page", [] { return WelcomePage(false); }},
        {"main menu", MainMenu},
        {"folder listing", [] { return FolderPage(13)->GetWML(); }},
        {"graffiti board", GraffitiBoard},
        {"login page", [] { return WelcomePage(true); }},
    };
    std::printf("page as WML and as XHTML (build, render, conversion):\n");
    std::printf("  %-16s %10s %10s %8s\n", "page", "WML ns", "XHTML ns", "XHTML/WML");
    for (const auto& [name, build] : sitePages) {
        const double wml = NanosecondsPerCall([&] { g_sink += build().size(); }, 4000);
        const double xhtml =
            NanosecondsPerCall([&] { g_sink += XhtmlRenderer::FromWml(build()).size(); }, 4000);
        std::printf("  %-16s %10.0f %10.0f %8.2f\n", name, wml, xhtml, xhtml / wml);
    }
    return g_sink == 0;
}
