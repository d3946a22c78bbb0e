// An HTTP error answer in the server's error body shape.
export class ApiError extends Error {
  constructor(status, { error, detail, body = '', errors = '' }) {
    super(detail);
    this.status = status;
    this.body = { error, detail, body, errors };
  }
}
