#include "app/HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpContentModel>
#include <QHelpEngine>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QPointer>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "app/App.h"
#include "app/Icons.h"

namespace {
QPointer<CHelpWindow> g_help;

// The help collection (the engine's own index) is kept in the user's cache folder
// and made again when the compiled help beside the program changes.
QString CollectionFile() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  dir += QStringLiteral("/help");
  QDir().mkpath(dir);
  return dir + QStringLiteral("/vandrelpro.qhc");
}
}  // namespace

CHelpBrowser::CHelpBrowser(QHelpEngine* engine, QWidget* parent) : QTextBrowser(parent), engine_(engine) {
  setOpenExternalLinks(false);
  setOpenLinks(true);
}

QVariant CHelpBrowser::loadResource(int type, const QUrl& name) {
  if (name.scheme() == QLatin1String("qthelp")) return engine_->fileData(name);
  return QTextBrowser::loadResource(type, name);
}

CHelpWindow* CHelpWindow::Instance() {
  if (!g_help) g_help = new CHelpWindow();
  return g_help;
}

void CHelpWindow::Destroy() { delete g_help.data(); }

QString CHelpWindow::HelpFile() {
  const QString dir = g_App ? g_App->ProgramPath(QStringLiteral("help")) : QStringLiteral("help");
  return QDir(dir).filePath(QStringLiteral("vandrelpro.qch"));
}

QUrl CHelpWindow::TopicUrl(const QString& topic) {
  return QUrl(QStringLiteral("qthelp://%1/doc/%2").arg(QString::fromLatin1(kNamespace), topic));
}

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(QStringLiteral("Vandrel Pro Help"));
  setWindowIcon(app::IconById(app::IDI_HELP));

  const QString collection = CollectionFile();
  engine_ = new QHelpEngine(collection, this);
  engine_->setUsesFilterEngine(true);
  engine_->setReadOnly(false);  // it keeps the registration and the search index
  engine_->setupData();
  const QString help = HelpFile();
  const QString ns = QString::fromLatin1(kNamespace);
  const QString registered = engine_->documentationFileName(ns);
  const bool stale = !registered.isEmpty() &&
                     (registered != help || QFileInfo(registered).lastModified() > QFileInfo(collection).lastModified());
  if (stale) engine_->unregisterDocumentation(ns);
  const bool fresh = registered.isEmpty() || stale;
  if (fresh && QFileInfo::exists(help)) engine_->registerDocumentation(help);

  browser_ = new CHelpBrowser(engine_, this);

  tabs_ = new QTabWidget(this);
  QHelpContentWidget* contents = engine_->contentWidget();
  tabs_->addTab(contents, QStringLiteral("Contents"));
  connect(contents, &QHelpContentWidget::linkActivated, browser_, [this](const QUrl& url) { browser_->setSource(url); });
  // One click on an entry opens it, as in any list of topics.
  connect(contents, &QTreeView::clicked, browser_, [this, contents](const QModelIndex& index) {
    if (QHelpContentItem* item = engine_->contentModel()->contentItemAt(index); item && item->url().isValid())
      browser_->setSource(item->url());
  });
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  close->setContext(Qt::WidgetWithChildrenShortcut);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  connect(engine_->contentModel(), &QHelpContentModel::contentsCreated, this, &CHelpWindow::SelectInContents);

  QHelpSearchEngine* search = engine_->searchEngine();
  searchPage_ = new QWidget(this);
  auto* searchLayout = new QVBoxLayout(searchPage_);
  searchLayout->setContentsMargins(4, 4, 4, 4);
  searchLayout->addWidget(search->queryWidget());
  searchLayout->addWidget(search->resultWidget(), 1);
  tabs_->addTab(searchPage_, QStringLiteral("Search"));
  connect(search->queryWidget(), &QHelpSearchQueryWidget::search, search,
          [search] { search->search(search->queryWidget()->searchInput()); });
  connect(search->resultWidget(), &QHelpSearchResultWidget::requestShowLink, browser_,
          [this](const QUrl& url) { browser_->setSource(url); });
  if (fresh || search->searchResultCount() == 0) search->reindexDocumentation();

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->addWidget(tabs_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({290, 570});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
  resize(860, 580);
  // The contents are read in the background: open the tree once they are there.
  connect(engine_->contentModel(), &QHelpContentModel::contentsCreated, contents, &QTreeView::expandAll);
  contents->expandAll();
}

void CHelpWindow::AnswerBesideTheModal() {
  // A window that belongs to the modal dialog shown now is not blocked by it: the
  // help opened from the settings sheet can be read and clicked while it is open.
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == this) return;
  winId();
  if (QWindow* own = windowHandle()) own->setTransientParent(modal ? modal->windowHandle() : nullptr);
}

void CHelpWindow::Open(const QString& topic) {
  browser_->setSource(TopicUrl(topic));
  SelectInContents();
  AnswerBesideTheModal();
  show();
  raise();
  activateWindow();
}

QString CHelpWindow::CurrentTopic() const {
  const QString path = browser_->source().path();
  const QString prefix = QStringLiteral("/doc/");
  return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

void CHelpWindow::SelectInContents() {
  QHelpContentWidget* contents = engine_->contentWidget();
  const QModelIndex index = contents->indexOf(browser_->source());
  if (index.isValid()) contents->setCurrentIndex(index);
}

bool CHelpWindow::SearchShown() const { return tabs_->currentWidget() == searchPage_ && isVisible(); }

void CHelpWindow::Search(const QString& text) { engine_->searchEngine()->search(text); }

void CHelpWindow::ShowContents() {
  CHelpWindow* w = Instance();
  w->tabs_->setCurrentIndex(0);
  w->Open(QString::fromLatin1(kContentsTopic));
}

void CHelpWindow::ShowTopic(const QString& topic) {
  CHelpWindow* w = Instance();
  w->tabs_->setCurrentIndex(0);
  w->Open(topic);
}

void CHelpWindow::ShowSearch() {
  CHelpWindow* w = Instance();
  if (w->browser_->source().isEmpty()) w->browser_->setSource(TopicUrl(QString::fromLatin1(kContentsTopic)));
  w->AnswerBesideTheModal();
  w->show();
  w->raise();
  w->activateWindow();
  w->tabs_->setCurrentWidget(w->searchPage_);
  w->engine_->searchEngine()->queryWidget()->setFocus();
}
