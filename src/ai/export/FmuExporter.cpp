#include "src/ai/export/FmuExporter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <variant>

namespace Conflux
{
namespace
{
ConfluxFmu::BalanceValue balanceValue(const AISystem::PhysicalModelValue& value)
{
    ConfluxFmu::BalanceValue result;
    switch (value.getType())
    {
    case AISystem::PhysicalModelValueType::Fixed:
        result.kind = ConfluxFmu::BalanceValue::Kind::Fixed;
        break;
    case AISystem::PhysicalModelValueType::Input:
        result.kind = ConfluxFmu::BalanceValue::Kind::Input;
        break;
    case AISystem::PhysicalModelValueType::Output:
        result.kind = ConfluxFmu::BalanceValue::Kind::Output;
        break;
    }
    result.index = value.getIndex();
    result.factor = value.getFactor();
    result.value = value.getValue();
    return result;
}

ConfluxFmu::BalanceFluid balanceFluid(const AISystem::PhysicalModelFluid& fluid)
{
    ConfluxFmu::BalanceFluid result;
    std::visit(
        [&result](const auto& density) {
            using T = std::decay_t<decltype(density)>;
            if constexpr (std::is_same_v<T, AISystem::PhysicalModelFluidDensityConstant>)
                result.density = density.getDensity();
            else
            {
                result.idealGas = true;
                result.molecularWeight = density.getMolecularWeight();
                result.absolutePressure = density.getAbsolutePressure();
            }
        },
        fluid.getDensityModel());
    std::visit(
        [&result](const auto& heat) {
            using T = std::decay_t<decltype(heat)>;
            if constexpr (std::is_same_v<T, AISystem::PhysicalModelFluidSpecificHeatConstant>)
                result.specificHeat = {{0.0, heat.getSpecificHeat()}};
            else
                result.specificHeat = heat.getPoints();
        },
        fluid.getSpecificHeatModel());
    return result;
}

ConfluxFmu::Balance balance(const AISystem::PhysicalModel& model)
{
    ConfluxFmu::Balance result;
    for (const auto& source : model.getHeatSources())
        result.heatSources.push_back(balanceValue(source));
    for (size_t s = 0; s < model.getStreams().size(); ++s)
    {
        const auto& stream = model.getStreams()[s];
        ConfluxFmu::BalanceStream converted;
        converted.fluid = balanceFluid(stream.getFluid());
        for (const auto& [flows, target] :
             {std::pair{&stream.getInflows(), &converted.inflows}, std::pair{&stream.getOutflows(), &converted.outflows}})
            for (const auto& flow : *flows)
            {
                if (!flow.temperature)
                    throw std::runtime_error("The physical model's stream " + std::to_string(s + 1) +
                                             " has an entry without a temperature");
                ConfluxFmu::BalanceFlow entry;
                entry.area = flow.area;
                entry.temperature = balanceValue(*flow.temperature);
                if (flow.flow)
                    entry.flow = balanceValue(*flow.flow);
                target->push_back(entry);
            }
        result.streams.push_back(converted);
    }
    return result;
}

QString tokenOf(const ExportedNetwork& network, const std::string& networkText)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(reinterpret_cast<const char*>(network.modelData.data()), static_cast<int>(network.modelData.size()));
    hash.addData(networkText.data(), static_cast<int>(networkText.size()));
    const QString hex = QString::fromLatin1(hash.result().toHex());
    return "{" + hex.mid(0, 8) + "-" + hex.mid(8, 4) + "-" + hex.mid(12, 4) + "-" + hex.mid(16, 4) + "-" +
           hex.mid(20, 12) + "}";
}

struct ZipDeleter
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceDeleter
{
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

void addEntry(zip_t* archive, const char* name, const QByteArray& bytes, time_t modified)
{
    // libzip copies nothing until the archive is closed: the source keeps its own copy of the bytes.
    void* copy = std::malloc(static_cast<size_t>(bytes.size()) + 1);
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
    zip_source_t* source = zip_source_buffer(archive, copy, static_cast<zip_uint64_t>(bytes.size()), 1);
    if (!source)
    {
        std::free(copy);
        throw std::runtime_error(std::string("Cannot add ") + name + " to the FMU: " + zip_strerror(archive));
    }
    const zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0)
    {
        zip_source_free(source);
        throw std::runtime_error(std::string("Cannot add ") + name + " to the FMU: " + zip_strerror(archive));
    }
    if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9) < 0 ||
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), modified, 0) < 0)
        throw std::runtime_error(std::string("Cannot deflate ") + name + " in the FMU: " + zip_strerror(archive));
}
} // namespace

FmuExporter::FmuExporter(const ExportedNetwork& network, FmuExportOptions options)
    : m_network(network), m_options(std::move(options))
{
    if (!m_options.generationTime.isValid())
        m_options.generationTime = QDateTime::currentDateTimeUtc();
    m_options.generationTime = m_options.generationTime.toUTC();
    // Whole seconds, so that the XML and the zip's times agree.
    m_options.generationTime.setTime(
        QTime(m_options.generationTime.time().hour(), m_options.generationTime.time().minute(),
              m_options.generationTime.time().second()));
    if (m_options.generationTool.isEmpty())
        m_options.generationTool = "ConfluxTool " CONFLUX_VERSION;
    const std::string placeholder = "{00000000-0000-0000-0000-000000000000}";
    try
    {
        const auto unsigned_ = ConfluxFmu::writeNetworkDescription(networkDescription(network, placeholder));
        m_identity.token = tokenOf(network, unsigned_);
        m_networkText = ConfluxFmu::writeNetworkDescription(networkDescription(network, m_identity.token.toStdString()));
    }
    catch (const std::invalid_argument& e)
    {
        throw std::runtime_error("The network of '" + network.modelName + "' cannot be exported: " + e.what());
    }
    m_identity.modelIdentifier = identifierFor(QString::fromStdString(network.modelName));
    m_identity.generationTool = m_options.generationTool;
    m_identity.generationTime = m_options.generationTime;
}

ConfluxFmu::NetworkDescription FmuExporter::networkDescription(const ExportedNetwork& network, const std::string& token)
{
    ConfluxFmu::NetworkDescription d;
    d.token = token;
    d.singlePrecision = network.elementType == AISystem::TensorElementType::Float;
    for (const auto& input : network.inputs)
    {
        if (!input.min || !input.max)
            throw std::invalid_argument("input '" + input.name + "' has no bounds");
        ConfluxFmu::NetworkInput converted;
        converted.name = input.name;
        converted.min = *input.min;
        converted.max = *input.max;
        converted.start = input.start;
        converted.unitFactor = input.factor;
        converted.unitOffset = input.offset;
        d.inputs.push_back(converted);
    }
    for (const auto& output : network.outputs)
    {
        ConfluxFmu::NetworkOutput converted;
        converted.name = output.name;
        converted.unitFactor = output.factor;
        converted.unitOffset = output.offset;
        d.outputs.push_back(converted);
    }
    for (const auto& layer : network.layers)
    {
        ConfluxFmu::NetworkLayer converted;
        converted.inputs = layer.inputs;
        converted.outputs = layer.outputs;
        converted.weights = layer.weights;
        converted.bias = layer.bias;
        switch (layer.activation)
        {
        case ExportedNetwork::Activation::Tanh:
            converted.activation = ConfluxFmu::Activation::Tanh;
            break;
        case ExportedNetwork::Activation::Linear:
            converted.activation = ConfluxFmu::Activation::Linear;
            break;
        }
        d.layers.push_back(converted);
    }
    if (FmuModelDescriptionWriter::exportsImbalance(network))
        d.balance = balance(*network.physicalModel);
    ConfluxFmu::validateNetworkDescription(d);
    return d;
}

QString FmuExporter::identifierFor(const QString& name)
{
    QString identifier;
    for (const QChar c : name)
        identifier += (c.isLetterOrNumber() && c.unicode() < 128) || c == '_' ? c : QChar('_');
    if (identifier.isEmpty() || identifier.front().isDigit())
        identifier.prepend("model_");
    return identifier;
}

QString FmuExporter::findRuntimeLibrary()
{
    const char* const fileName = "libconflux-fmu-runtime.so";
    const QString fromEnvironment = qEnvironmentVariable("CONFLUX_FMU_RUNTIME");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + "/../" + CONFLUX_INSTALL_LIBDIR + "/confluxtool/" +
                          fileName;
    candidates << QString(CONFLUX_FMU_RUNTIME_BUILD_PATH);
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

QByteArray FmuExporter::modelDescription() const
{
    return FmuModelDescriptionWriter(m_network, m_identity).write(m_options.version);
}

QByteArray FmuExporter::archive() const
{
    QFile runtime(m_options.runtimeLibrary);
    if (m_options.runtimeLibrary.isEmpty() || !runtime.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read the FMU runtime library '" + m_options.runtimeLibrary.toStdString() +
                                 "'" + (m_options.runtimeLibrary.isEmpty() ? "" : ": " + runtime.errorString().toStdString()));
    const QByteArray binary = runtime.readAll();
    const QByteArray description = modelDescription();

    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceDeleter> buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!buffer)
        throw std::runtime_error(std::string("Cannot make the FMU's zip: ") + zip_error_strerror(&error));
    std::unique_ptr<zip_t, ZipDeleter> zip(zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error));
    if (!zip)
        throw std::runtime_error(std::string("Cannot make the FMU's zip: ") + zip_error_strerror(&error));
    zip_source_keep(buffer.get());
    const time_t modified = static_cast<time_t>(m_options.generationTime.toSecsSinceEpoch());
    const QString platform = m_options.version == FmiVersion::Fmi3 ? "x86_64-linux" : "linux64";
    addEntry(zip.get(), "modelDescription.xml", description, modified);
    addEntry(zip.get(), ("binaries/" + platform + "/" + m_identity.modelIdentifier + ".so").toUtf8().constData(),
             binary, modified);
    addEntry(zip.get(), "resources/network.txt", QByteArray::fromStdString(m_networkText), modified);
    if (zip_close(zip.get()) < 0)
        throw std::runtime_error(std::string("Cannot write the FMU's zip: ") + zip_strerror(zip.get()));
    zip.release(); // closed, and so freed

    if (zip_source_open(buffer.get()) < 0)
        throw std::runtime_error("Cannot read the FMU's zip back");
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(buffer.get(), &stat) < 0 || !(stat.valid & ZIP_STAT_SIZE))
    {
        zip_source_close(buffer.get());
        throw std::runtime_error("Cannot read the FMU's zip back");
    }
    QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(buffer.get(), bytes.data(), stat.size);
    zip_source_close(buffer.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
        throw std::runtime_error("Cannot read the FMU's zip back");
    return bytes;
}

void FmuExporter::write(const QString& path) const
{
    const QByteArray bytes = archive();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() + "': " + file.errorString().toStdString());
}
} // namespace Conflux
