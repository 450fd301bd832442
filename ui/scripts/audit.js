// "Audit DALI lines": a device job of kovru-cli's audit_lines. Its result row's message counts
// what was found on the controller's lines and lists the findings below, one a line.

// The row's message for an audit's result (a jobDeviceResult).
export function auditResultView(body) {
    const findings = body.success && body.data && Array.isArray(body.data.findings) ? body.data.findings : null;
    if (!findings) return body;
    const count = findings.length;
    const message = count ? [`${count} finding${count === 1 ? '' : 's'}:`, ...findings].join('\n') : 'Nothing found';
    return { ...body, message };
}
