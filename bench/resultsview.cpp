// The results page over a synthetic result tree of a million nodes, on Qt's offscreen
// platform: the outline opened, a folder of a thousand files listed, one folder of
// every file listed, filtered and scrolled end to end.
//
//   QT_QPA_PLATFORM=offscreen bench_resultsview [NODES]      (default 1000000)
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/ResultsPage.h"
#include "app/TreeModel.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

using namespace norix;
using namespace norix::app;
using Clock = std::chrono::steady_clock;

namespace {

double milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

BaseTree* link(BaseTree* parent, std::unique_ptr<BaseTree> node) {
    BaseTree* child = parent->addChild(std::move(node));
    TreeClassMethod::addParent_toNDIR(parent, child);
    child->setPath(parent->pathName.empty() ? parent->fileName : parent->pathName + "/" + parent->fileName);
    TreeClassMethod::addChildCountInDIR(child);
    if (child->fileType == 1) ++parent->folderCount;
    return child;
}

std::unique_ptr<BaseTree> file(size_t i) {
    auto node = TreeClassMethod::createNDIR();
    node->setName("IMG_" + std::to_string(100000 + i) + (i % 3 ? ".JPG" : ".txt"));
    node->setFileTypes(2);
    node->setentry(1);
    node->setfileSize(2'500'000 + i);
    node->setmodifiedDate(0x58A1'6000 + static_cast<uint32_t>(i));
    return node;
}

// Half the files in folders of a thousand below "Existing Files", half in one folder
// below "Deleted Files".
std::unique_ptr<BaseTree> buildTree(size_t nodes) {
    auto root = TreeClassMethod::createRootWithName("Benchmark Volume");
    TreeClassMethod::addQuickNodesInDir(root.get());
    TreeClassMethod::addDeepNodesInDIR(root.get());
    BaseTree* quick = root->getChildAtIndex(0);
    BaseTree* existing = quick->getChildAtIndex(0);
    BaseTree* flat = link(quick->getChildAtIndex(1), TreeClassMethod::createNDIRWithName("Flat"));
    BaseTree* folder = nullptr;
    for (size_t i = 0; i < nodes / 2; ++i) {
        if (i % 1000 == 0) {
            folder = link(existing, TreeClassMethod::createNDIRWithName("DCIM " + std::to_string(i / 1000)));
        }
        link(folder, file(i));
        link(flat, file(i));
    }
    return root;
}

void settle(QWidget& view) {
    view.repaint();
    QApplication::processEvents();
}

// Scrolls a table from top to bottom in steps of a screen, drawing each.
void scroll(QTableView& table, const char* what) {
    const int rows = table.model()->rowCount();
    const int step = std::max(1, table.viewport()->height() / table.verticalHeader()->defaultSectionSize());
    const auto start = Clock::now();
    int screens = 0;
    double worst = 0;
    for (int row = 0; row < rows; row += std::max(step, rows / 2000), ++screens) {
        const auto one = Clock::now();
        table.scrollTo(table.model()->index(row, 1), QAbstractItemView::PositionAtTop);
        settle(table);
        worst = std::max(worst, milliseconds(one));
    }
    std::printf("%-40s %8d rows, %5d screens drawn: %8.1f ms each on average, worst %6.1f ms\n", what, rows, screens,
                milliseconds(start) / screens, worst);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const size_t nodes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    auto start = Clock::now();
    RecoveryModule module;
    module.adoptRecoverySession(buildTree(nodes), "/dev/null");
    std::printf("tree of %zu nodes built in %.0f ms\n", nodes, milliseconds(start));

    TreeModel outline;
    QTreeView outlineView;
    outlineView.setModel(&outline);
    ResultsPage page(nullptr);
    page.resize(1000, 700);
    outlineView.resize(300, 700);
    page.attachOutline(outline, outlineView);
    page.show();
    outlineView.show();

    start = Clock::now();
    outline.setModule(&module);
    const QModelIndex existing = outline.indexForNames({"Quick Scan", "Existing Files"});
    if (outline.canFetchMore(existing)) outline.fetchMore(existing);
    outlineView.expand(existing);
    settle(outlineView);
    std::printf("%-40s %8.1f ms (%d folders)\n", "outline opened to Existing Files", milliseconds(start),
                outline.rowCount(existing));

    start = Clock::now();
    outlineView.setCurrentIndex(outline.index(0, 0, existing));
    settle(page);
    std::printf("%-40s %8.1f ms (%d rows)\n", "folder of a thousand files listed", milliseconds(start),
                page.model().rowCount());

    start = Clock::now();
    page.selectFolder(outline.pathOf(outline.indexForNames({"Quick Scan", "Deleted Files", "Flat"})));
    settle(page);
    std::printf("%-40s %8.1f ms (%d rows)\n", "folder of every file listed", milliseconds(start),
                page.model().rowCount());
    scroll(*page.table, "scrolled, all files");

    page.filter().images = {"jpg"};
    start = Clock::now();
    page.treePageFiltersAdvClicked("Images");
    settle(page);
    std::printf("%-40s %8.1f ms (%d rows)\n", "filtered to pictures", milliseconds(start), page.model().rowCount());
    scroll(*page.table, "scrolled, pictures");

    start = Clock::now();
    page.searchEntered("99");
    while (page.searchRunning()) QApplication::processEvents();
    QApplication::processEvents();
    std::printf("%-40s %8.1f ms (%d matches listed)\n", "search of the whole tree", milliseconds(start),
                page.model().rowCount());
    return 0;
}
