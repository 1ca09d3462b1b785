#include "Batch.h"
#include "CommandLine.h"
#include "Commands.h"
#include "EnhanceOptions.h"
#include "OutputPlan.h"

#include <QJsonDocument>
#include <QSaveFile>

namespace tool {

int runEnhanceCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("enhance");
    QCommandLineParser parser;
    parser.setApplicationDescription(enhanceDescription());
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Image files or folders."), QStringLiteral("[INPUT...]"));
    const EnhanceOptions options;
    options.addTo(parser);
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status, enhanceEpilog()))
        return status;

    EnhanceRequest request;
    QString error;
    if (!parseEnhanceOptions(parser, options, request, error))
        return usageError(error, command);
    std::vector<BatchItem> items;
    if (!planOutputs(request, items, error))
        return usageError(error, command);
    if (!request.saveSettings.isEmpty())
    {
        QSaveFile file(request.saveSettings);
        const QByteArray json = QJsonDocument(request.settings.toJson()).toJson(QJsonDocument::Indented);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        {
            printError(QStringLiteral("%1: cannot write: %2").arg(request.saveSettings, file.errorString()));
            return exitFailure;
        }
    }
    return runBatch(items, request.settings, request.batch).failed > 0 ? exitFailure : 0;
}

} // namespace tool
