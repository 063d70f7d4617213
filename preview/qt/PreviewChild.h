#pragma once
#include <QMdiSubWindow>
#include <QWidget>
#include <memory>
#include "preview/VELDANpreviewDoc.h"

namespace veldan::preview {

class DocumentUi;

// The document's view. Until the full preview drawing arrives it shows the
// project's name, folder and tile boxes in the flow-chart layout.
class CVELDANpreviewView : public QWidget {
  Q_OBJECT
public:
  CVELDANpreviewView(CVELDANpreviewDoc& doc, QWidget* parent = nullptr);
  CVELDANpreviewDoc& Document() { return doc_; }
  // Display mode command (32787, 32785, 32904).
  void SetMode(int mode);
  int Mode() const { return mode_; }
  uint32_t ShownExposure() const { return exposure_; }
  void SetShownExposure(uint32_t e);
  // Draws the view onto any paint device (screen or printer page).
  void Render(QPainter& painter, const QRect& area);

protected:
  void paintEvent(QPaintEvent*) override;

private:
  CVELDANpreviewDoc& doc_;
  int mode_;
  uint32_t exposure_ = 0;
};

// The child frame of one document: owns the document and its view; closing
// asks the document for permission.
class CChildFrame : public QMdiSubWindow {
  Q_OBJECT
public:
  CChildFrame(std::unique_ptr<CVELDANpreviewDoc> doc, DocumentUi& ui, QWidget* parent = nullptr);
  ~CChildFrame() override;
  CVELDANpreviewDoc& Document() { return *doc_; }
  CVELDANpreviewView* View() const { return view_; }
  void UpdateTitle();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  std::unique_ptr<CVELDANpreviewDoc> doc_;
  DocumentUi& ui_;
  CVELDANpreviewView* view_ = nullptr;
};

}  // namespace veldan::preview
