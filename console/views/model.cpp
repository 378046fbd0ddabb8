#include "model.h"
#include "rowsort.h"

ListModel mmodel;
const Columns& mcols = mmodel.columns();
const std::vector<int>& mrows = mmodel.rows();
const std::vector<int>& mimages = mmodel.images();

void ListModel::clear()
{
    for (auto& c : mcols) c.clear();
    mrows.clear();
    mimages.clear();
    mprior.clear();
    mpriorstat.clear();
}

int ListModel::append(const char* const* cells, int n, int image)
{
    int r = (int)mimages.size();
    for (int k = 0; k < NCOLS; k++) mcols[k].emplace_back(k < n && cells[k] ? cells[k] : "");
    mimages.push_back(image);
    mprior.push_back(0);
    mrows.push_back(r);
    return r;
}

int ListModel::append(const std::string* cells, int n, int image)
{
    int r = (int)mimages.size();
    for (int k = 0; k < NCOLS; k++) {
        if (k < n)
            mcols[k].push_back(cells[k]);
        else
            mcols[k].emplace_back();
    }
    mimages.push_back(image);
    mprior.push_back(0);
    mrows.push_back(r);
    return r;
}

void ListModel::set_cell(int r, int col, const std::string& text)
{
    if (valid(r) && col >= 0 && col < NCOLS) mcols[col][r] = text;
}

void ListModel::set_state(int r, int image)
{
    if (valid(r)) mimages[r] = image;
}

void ListModel::set_prior(int r, int image)
{
    if (!valid(r)) return;
    mprior[r] = image;
    if (image)
        mpriorstat[r] = mcols[COL_STAT][r];
    else
        mpriorstat.erase(r);
}

const std::string& ListModel::prior_status(int r) const
{
    static const std::string none;
    auto it = mpriorstat.find(r);
    return it != mpriorstat.end() ? it->second : none;
}

void ListModel::sort(int col, int desc) { sort_rows(mrows, mcols, col, desc); }

void ListModel::set_order(const std::vector<int>& rows)
{
    if (rows.size() == mrows.size()) mrows = rows;
}

void ListModel::remove_shown(int p)
{
    if (p >= 0 && (size_t)p < mrows.size()) mrows.erase(mrows.begin() + p);
}
