// The progress window of a submission run: the address and engine being submitted, the status line,
// the "Current %" and "Total %" bars, two looping animations and Cancel.
#pragma once

#include <QDialog>
#include <cstddef>
#include <cstdint>

class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;

namespace sendwell::gui {

class SubmitProgressDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, also the controls' object names ("id" + number).
    static constexpr int kAddressLabel = 1001;
    static constexpr int kEngineLabel = 1002;
    static constexpr int kToLabel = 1003;
    static constexpr int kStatusLabel = 1004;
    static constexpr int kCurrentBar = 1049;
    static constexpr int kTotalBar = 1012;
    static constexpr int kSendAnimation = 1048;
    static constexpr int kGlobeAnimation = 1073;
    static constexpr int kCancel = 1013;

    explicit SubmitProgressDialog(QWidget* owner);

    // The run's events as the worker reports them, relayed to the UI thread. The window is shown when
    // the run starts and hidden when it ends.
    void runStarted(std::size_t addressCount, int engineCount);
    void addressStarted(std::size_t index, std::size_t count, const QString& address);
    void engineStarted(const QString& name);
    void requestDone();
    void runEnded();
    void setStatus(const QString& text);

    int addressCount() const { return addressCount_; }
    bool stopRequested() const { return stopRequested_; }
    // Steps taken on each bar, whatever the bars' scale.
    std::int64_t currentSteps() const { return current_.value; }
    std::int64_t totalSteps() const { return total_.value; }

signals:
    void cancelRequested();

public slots:
    // "&Cancel", Escape and the close box: ask the run to stop; the window stays open.
    void cancel();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A progress bar takes int ranges; longer runs are shown scaled down.
    struct Bar {
        QProgressBar* widget = nullptr;
        std::int64_t maximum = 0;
        std::int64_t value = 0;
        void apply() const;
    };

    Bar current_;
    Bar total_;
    QLabel* address_ = nullptr;
    QLabel* engine_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* sendAnimation_ = nullptr;
    QLabel* globeAnimation_ = nullptr;
    QMovie* sendMovie_ = nullptr;
    QMovie* globeMovie_ = nullptr;
    QPushButton* cancel_ = nullptr;
    int addressCount_ = 1;
    bool stopRequested_ = false;
};

} // namespace sendwell::gui
