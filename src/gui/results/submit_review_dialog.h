// The review after a run: the stored answers in a list, the selected one shown in a browser, Previous
// and Next to step through them, OK to clear the store.
#pragma once

#include <QDialog>
#include <filesystem>

class QLabel;
class QPushButton;
class QTreeWidget;
class QWebEngineView;

namespace sendwell::gui {

class SubmitReviewDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kList = 1034;
    static constexpr int kBrowser = 1046;
    static constexpr int kEngineLabel = 1002;
    static constexpr int kPrevious = 1071;
    static constexpr int kNext = 1070;
    static constexpr int kOk = 1;

    SubmitReviewDialog(const std::filesystem::path& programFolder, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }
    QWebEngineView* browser() const { return browser_; }
    QLabel* engineLabel() const { return engine_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* okButton() const { return ok_; }

public slots:
    void OnPrevious();
    void OnNext();
    // OK: clears the store and the failure log, then closes.
    void accept() override;

private:
    void Fill();
    int FirstSelectedRow() const;
    void SelectRow(int row);
    void ApplySelectionRule();
    void ShowAnswer(int row);

    std::filesystem::path programFolder_;
    QTreeWidget* list_ = nullptr;
    QWebEngineView* browser_ = nullptr;
    QLabel* engine_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace sendwell::gui
