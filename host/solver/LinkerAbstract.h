#pragma once
#include "host/filesystem/OperatingSystem.h"
#include "host/solver/LinkerType.h"

#include <memory>
#include <string>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux
{
/// One outside controller of the exchange, as the exchange control carries it: its kind, its
/// name, the library the solver loads for it, and its settings, which it writes to and reads
/// from a data stream itself. Derived classes get the clone/equality/stream plumbing from
/// `LinkerBase`.
class LinkerAbstract
{
public:
    virtual ~LinkerAbstract();

    virtual LinkerType getType() const = 0;
    /// Prepares the linker for a solve. The stand-in loads nothing; it only records the state.
    virtual void initialize();
    virtual void terminate();
    virtual bool isInitialized() const;
    virtual std::string getName() const = 0;
    /// The library file the solver loads for this linker on `os`; empty when there is none.
    virtual std::string getLibraryName(Utilities::OperatingSystem os) const = 0;

    std::unique_ptr<LinkerAbstract> clone() const { return do_clone(); }
    /// Same kind and same settings; the initialised state is not compared.
    bool operator==(const LinkerAbstract& other) const { return do_equals(other); }
    void write(FileSystem::DataOStream& stream) const { do_write(stream); }
    /// Reads settings written by `write`. When the stream fails its settings are unspecified:
    /// callers check the stream and discard the linker.
    void read(FileSystem::DataIStream& stream) { do_read(stream); }

protected:
    LinkerAbstract() = default;
    LinkerAbstract(const LinkerAbstract&) = default;
    LinkerAbstract& operator=(const LinkerAbstract&) = default;

    virtual std::unique_ptr<LinkerAbstract> do_clone() const = 0;
    virtual bool do_equals(const LinkerAbstract& other) const = 0;
    virtual void do_write(FileSystem::DataOStream& stream) const = 0;
    virtual void do_read(FileSystem::DataIStream& stream) = 0;

private:
    bool m_initialized = false;
};
} // namespace Conflux
