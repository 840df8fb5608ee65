#!/usr/bin/env node
// Find and replace over every .xlsx/.xlsm below a folder with exceljs, in one process.
// Same job as the server's replace run: text, rich-text runs and formulas of every worksheet
// are searched case-insensitively; a workbook is written only when something changed.
// exceljs is resolved from NODE_PATH (the bench installs it into a folder of its own).
'use strict';
const fs = require('fs');
const path = require('path');
const ExcelJS = require('exceljs');

function* workbooks(folder) {
    const entries = fs.readdirSync(folder, { withFileTypes: true })
        .sort((a, b) => a.name.toLowerCase() < b.name.toLowerCase() ? -1 : 1);
    for (const e of entries) {
        const p = path.join(folder, e.name);
        if (e.isFile() && /\.(xlsx|xlsm)$/i.test(e.name) && !p.includes('~$')) yield p;
    }
    for (const e of entries) {
        if (e.isDirectory()) yield* workbooks(path.join(folder, e.name));
    }
}

function escapeRegExp(s) {
    return s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

async function main() {
    const [folder, find, replacement] = process.argv.slice(2);
    if (replacement === undefined) {
        console.error('usage: exceljs_replace.js FOLDER FIND REPLACE');
        process.exit(2);
    }
    const pattern = new RegExp(escapeRegExp(find), 'gi');
    const test = new RegExp(escapeRegExp(find), 'i');
    const sub = (s) => s.replace(pattern, () => replacement);
    const stats = { peer: 'exceljs', workbooks: 0, opened: 0, matched: 0, saved: 0, unopenable: 0 };
    const start = process.hrtime.bigint();
    const verbose = !!process.env.BENCH_VERBOSE;
    for (const file of workbooks(folder)) {
        stats.workbooks++;
        if (verbose) console.error(file);
        const wb = new ExcelJS.Workbook();
        try {
            await wb.xlsx.readFile(file);
        } catch (e) {
            stats.unopenable++;
            continue;
        }
        stats.opened++;
        let changed = false;
        wb.eachSheet((ws) => {
            ws.eachRow({ includeEmpty: false }, (row) => {
                row.eachCell({ includeEmpty: false }, (cell) => {
                    const v = cell.value;
                    if (typeof v === 'string') {
                        if (test.test(v)) { cell.value = sub(v); changed = true; }
                    } else if (v && Array.isArray(v.richText)) {
                        if (v.richText.some((r) => test.test(r.text))) {
                            cell.value = { richText: v.richText.map((r) => ({ ...r, text: sub(r.text) })) };
                            changed = true;
                        }
                    } else if (v && typeof v.formula === 'string') {
                        if (test.test(v.formula)) { cell.value = { formula: sub(v.formula) }; changed = true; }
                    }
                });
            });
        });
        if (changed) {
            stats.matched++;
            try {
                await wb.xlsx.writeFile(file);
                stats.saved++;
            } catch (e) {
                // counted as matched but not saved
            }
        }
    }
    stats.seconds = Number(process.hrtime.bigint() - start) / 1e9;
    console.log(JSON.stringify(stats));
}

main().catch((e) => { console.error(e); process.exit(1); });
