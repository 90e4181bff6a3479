#include "text/HistoryWriter.h"

HistoryWriter::HistoryWriter(std::function<void()> notify)
    : m_notify(std::move(notify)), m_thread([this] { Run(); })
{
}

HistoryWriter::~HistoryWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

void HistoryWriter::Push(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void HistoryWriter::Spill(std::uint64_t id, std::vector<char16_t> units, std::vector<PieceRun> runs)
{
    Job job(Job::Kind::Spill);
    job.id = id;
    job.units = std::move(units);
    job.runs = std::move(runs);
    Push(std::move(job));
}

void HistoryWriter::Discard(std::uint64_t fileSerial, std::uint64_t offset, std::uint32_t bytes)
{
    Job job(Job::Kind::Discard);
    job.fileSerial = fileSerial;
    job.offset = offset;
    job.bytes = bytes;
    Push(std::move(job));
}

void HistoryWriter::Restart()
{
    Push(Job(Job::Kind::Restart));
}

void HistoryWriter::SetNotify(std::function<void()> notify)
{
    std::lock_guard lock(m_mutex);
    m_notify = std::move(notify);
}

std::vector<HistoryWriter::Result> HistoryWriter::TakeResults()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_results, {});
}

bool HistoryWriter::Read(std::uint64_t fileSerial, std::uint64_t offset, std::uint32_t bytes, std::string& out,
                         std::string& why) const
{
    std::shared_ptr<HistoryFile> file;
    {
        std::lock_guard lock(m_mutex);
        if (fileSerial == m_fileSerial)
            file = m_file;
    }
    if (!file) {
        why = "The history file is gone";
        return false;
    }
    out.resize(bytes);
    return file->Read(offset, bytes, out.data(), why);
}

std::shared_ptr<const HistoryFile> HistoryWriter::File(std::uint64_t fileSerial) const
{
    std::lock_guard lock(m_mutex);
    return fileSerial == m_fileSerial ? m_file : nullptr;
}

std::uint64_t HistoryWriter::FileBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_file ? m_file->End() : 0;
}

int HistoryWriter::FileDescriptor() const
{
    std::lock_guard lock(m_mutex);
    return m_file ? m_file->Descriptor() : -1;
}

void HistoryWriter::Run()
{
    PieceEncoder encoder;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_stop)
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        std::shared_ptr<HistoryFile> file = m_file;
        const std::uint64_t serial = m_fileSerial;

        if (job.kind == Job::Kind::Restart) {
            m_file.reset();
            continue;
        }
        lock.unlock();
        if (job.kind == Job::Kind::Discard) {
            if (file && job.fileSerial == serial)
                file->Discard(job.offset, job.bytes);
            lock.lock();
            continue;
        }

        Result result;
        result.id = job.id;
        if (!file) {
            // Only this thread makes or replaces the file, so `file` stays
            // what it was made as while the lock is off.
            file = HistoryFile::Create(result.why);
            lock.lock();
            if (file) {
                m_file = file;
                result.fileSerial = ++m_fileSerial;
                result.newFile = true;
                result.freeAtStart = file->FreeAtStart();
            }
            lock.unlock();
        } else {
            result.fileSerial = serial;
        }
        if (file) {
            const std::string& blob = encoder.Encode(job.units.data(), job.units.size(), job.runs);
            result.bytes = static_cast<std::uint32_t>(blob.size());
            result.ok = file->Append(blob.data(), blob.size(), result.offset, result.why);
        }
        job.units = {};
        job.runs = {};
        lock.lock();
        m_results.push_back(std::move(result));
        if (m_notify)
            m_notify();
    }
}
