#pragma once

#include "convert/ConvertState.h"
#include "convert/OutputParser.h"
#include "convert/OutputTail.h"
#include "convert/ProcessPipe.h"
#include "params/AVParams.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QTimer;
namespace Ui
{
class InputItem;
}

// One input file's conversion job, shown as one row of the main window's file list.
class InputItem final : public QWidget
{
    Q_OBJECT

public:
    explicit InputItem(QWidget *parent = nullptr);
    ~InputItem() override;

    // 0, or -202 when no file exists at the path (nothing changes then).
    int setInput(const std::string &path, const AVSettings &settings);
    // Starts the transcoder. The output gets a distinct name when the composed path is one of
    // takenPaths (outputs or inputs of other jobs) or would be the input itself.
    // 0, or the runner's code (-103, -1, -101, -102) unchanged.
    int start(const std::vector<std::string> &takenPaths = {});
    // 0, or 102 when the job is Done.
    int cancel();
    int convertState() const;

    const std::string &inputPath() const { return m_inputPath; }
    const std::string &errorText() const { return facts.errorText; }
    const std::string &outputPath() const { return m_outputPath; }
    const AVSettings &settings() const { return params.settings; }
    void setSettings(const AVSettings &settings) { params.settings = settings; }
    int progressValue() const;

signals:
    void ItemConvertDone(InputItem *item);
    void ItemDelete(InputItem *item);

private slots:
    void onTimer();
    void btnDel_clicked();

private:
    void finishConversion();
    void analyseChunk(char *chunk);
    std::string exitFailureText() const;
    std::string composeOutputPath(const std::vector<std::string> &takenPaths) const;
    void setState(ConvertState newState);

    std::unique_ptr<Ui::InputItem> ui;
    AVParams params;
    ProcessPipe pipe;
    std::unique_ptr<char[]> readBuffer;
    QTimer *pollTimer = nullptr;
    OutputFacts facts; // errorText, outputSeen, durationSec and timeSec of the current run
    OutputTail tail;
    ConvertState state = Waiting;
    std::string baseName;
    std::string dotSuffix;
    std::string m_inputPath;
    std::string m_outputPath;
};
