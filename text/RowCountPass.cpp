#include "text/RowCountPass.h"

#include "text/TextSegment.h"
#include "text/TextSnapshot.h"

RowCountPass::RowCountPass(std::function<void()> notify) : m_notify(std::move(notify)) {}

void RowCountPass::Start(std::shared_ptr<const TextSnapshot> pieces, int columns)
{
    m_thread.Run([this, pieces = std::move(pieces), columns](std::stop_token stop) {
        TextSnapshot::Reader reader;
        const auto& all = pieces->Pieces();
        for (std::size_t i = all.size(); i-- > 0;) {
            if (stop.stop_requested())
                return;
            char16_t* units = nullptr;
            std::string why;
            if (!reader.Units(*pieces, i, units, why))
                continue;  // reading it on the model's thread reports the trouble
            const std::uint64_t rows = TextSegment::RowsOfUnits(units, static_cast<std::size_t>(all[i].units), columns) -
                                       (all[i].endsWithBreak ? 1 : 0);
            {
                std::lock_guard lock(m_mutex);
                m_results.push_back({all[i].id, columns, rows});
            }
            m_notify();
        }
    });
}

void RowCountPass::Stop()
{
    m_thread.Stop();
}

std::vector<RowCountPass::Result> RowCountPass::TakeResults()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_results, {});
}
