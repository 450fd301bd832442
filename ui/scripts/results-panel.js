// The results panel's wiring: device jobs fill it (jobs.js, results.js), "Copy as text" copies
// it, and a status result updates the tree row and the details.
import { $, state, redraw, element, host, setStatus } from './page.js';
import { createJobs } from './jobs.js';

function onStatusData(address, data) {
    state.deviceInfo.set(address, data);
    redraw.rows();
    redraw.details();
}

async function copyResults(jobs) {
    const text = jobs.asText();
    try {
        await navigator.clipboard.writeText(text);
    } catch {
        const area = element('textarea');
        area.value = text;
        document.body.append(area);
        area.select();
        document.execCommand('copy');
        area.remove();
    }
    setStatus('Results copied', 'ok');
}

export function wireResults() {
    const jobs = createJobs({
        host, setStatus, onStatusData,
        elements: {
            body: $('results-body'), table: $('results-table'), summary: $('results-summary'), empty: $('results-empty'),
            failedOnly: $('failed-only'), retry: $('retry-failed'), cancel: $('cancel-job'), copy: $('copy-results'),
            concurrency: $('job-concurrency')
        }
    });
    $('copy-results').addEventListener('click', () => copyResults(jobs));
    return jobs;
}
